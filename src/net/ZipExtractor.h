#pragma once
// The zip extraction component: ZipExtractor lists an archive by reading its central directory and leaves the
// decompression to the unzip library "UnZDll.dll", answering the library's questions through the prompter
// and reporting its progress to a progress view, when one is given.
#include <QFlags>
#include <QObject>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "common/Prompter.h"
#include "net/ZipProgress.h"
#include "unzdll_abi.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "zip records are copied byte for byte");

class ZipException : public quorrel::QuorrelError {
 public:
  using quorrel::QuorrelError::QuorrelError;
};

#pragma pack(push, 1)
// The end-of-central-directory record as it stands in the file.
struct EndRecord {
  std::uint32_t signature;
  std::uint16_t thisDiskNo;
  std::uint16_t centralDiskNo;
  std::uint16_t centralEntriesThisDisk;
  std::uint16_t totalEntries;
  std::uint32_t centralSize;
  std::uint32_t centralOffset;
  std::uint16_t commentLength;
};

// The central file header as it stands in the file.
struct CentralFileHeader {
  std::uint32_t signature;
  std::uint16_t versionMadeBy;
  std::uint16_t versionNeeded;
  std::uint16_t flag;
  std::uint16_t method;
  std::uint16_t modTime;
  std::uint16_t modDate;
  std::uint32_t crc32;
  std::uint32_t compressedSize;
  std::uint32_t uncompressedSize;
  std::uint16_t fileNameLength;
  std::uint16_t extraLength;
  std::uint16_t fileCommentLength;
  std::uint16_t diskStart;
  std::uint16_t internalAttributes;
  std::uint32_t externalAttributes;
  std::uint32_t relativeOffset;
};
#pragma pack(pop)
static_assert(sizeof(EndRecord) == 22, "end record is 22 bytes");
static_assert(sizeof(CentralFileHeader) == 46, "central header is 46 bytes");

constexpr std::uint32_t EndOfCentralSignature = 0x06054B50;
constexpr std::uint32_t CentralFileHeaderSignature = 0x02014B50;

struct EndRecordInfo {
  EndRecord record{};
  std::string comment;         // stored unchanged
  std::int32_t position = -1;  // of the record in the file; -1 until located
};

struct ZipEntry {
  CentralFileHeader header{};
  std::uint8_t encrypted = 0;  // bit 0 of the general-purpose flags
  std::string memberName;      // ANSI; folders separated by the platform's separator
  std::string extraField;      // raw bytes
  std::string fileComment;     // ANSI
};

class ZipExtractor : public QObject {
  Q_OBJECT
 public:
  // How members that already exist at the destination are treated. Without any of UpdateOlder, FreshenOlder
  // and AskBeforeOverwrite an existing file is overwritten without a question.
  enum ExtractOption {
    // An existing file is replaced only when it is older than the member; the library is told to update.
    UpdateOlder = 1 << 0,
    // The same rule for existing files; the library is told to freshen (unless UpdateOlder is set too).
    FreshenOlder = 1 << 1,
    // Tells the library that existing files are overwritten (unless UpdateOlder or FreshenOlder is set).
    Overwrite = 1 << 2,
    // Without UpdateOlder and FreshenOlder: the user is asked before an existing file is overwritten.
    AskBeforeOverwrite = 1 << 3,
    // Handed to the library as its Option4 flag; nothing here depends on it.
    LibraryOption4 = 1 << 4,
  };
  Q_DECLARE_FLAGS(ExtractFlags, ExtractOption)

  // What the component calls while the library unpacks, on the main thread and in the library's order.
  struct Handlers {
    // A member begins: its name, its uncompressed size, the members and bytes of the whole batch.
    std::function<void(const std::string& fileName, std::int32_t fileSize, std::int32_t batchCount,
                       std::int32_t totalBytesInBatch)>
        memberBegins;
    // Bytes written since the last report, for the member being unpacked.
    std::function<void(const std::string& fileName, std::int32_t increment, std::int32_t totalBytesInBatch)> progress;
    // The batch is over: the members skipped, the members and bytes it had.
    std::function<void(std::int32_t skippedCount, std::int32_t batchCount, std::int32_t totalBytesInBatch)> batchEnded;
    // The archive named, and its directory read again.
    std::function<void()> contentsChanged;
  };

  ZipExtractor(QObject* owner, quorrel::Prompter* prompter);
  ~ZipExtractor() override;

  const std::string& zipFileName() const { return zipFileName_; }
  // Reads the archive's directory; a missing archive is created empty. Raises ZipException.
  void setZipFileName(const std::string& name);

  // Unpacks the archive: the library's result, or 0 when the library was not called.
  std::int32_t extract();
  bool loadUnzipLibrary();

  std::string zipPassword;   // emptied whenever the archive is named
  std::string dllDirectory;  // empty: the library is searched beside the executable
  std::string extractDir;    // empty: the archive's own folder
  ExtractFlags extractOptions = UpdateOlder;
  std::vector<std::string> fileSpecs;  // emptied after each library call
  bool showProgressDialog = true;      // whether the progress view, when one is set, is told of extractions

  std::vector<ZipEntry> entries;
  EndRecordInfo endRecord;
  bool oemNames = false;
  bool cancelled = false;

  Handlers handlers;
  // The most password questions one extraction asks.
  static constexpr int MaxPasswordQuestions = 3;
  // Asked after each report of the library, once pending events ran; true cancels the extraction, as Cancel
  // does (for instance when the window that waits for it was closed).
  std::function<bool()> cancelRequested;

  // The most an extraction may write: the destination's free space less a margin, and at most 100 times the
  // archive's size (at least 64 MiB, so that small archives of text still unpack) but never more than 1 GiB.
  static std::int64_t unpackLimit(std::int64_t freeBytes, std::int64_t archiveBytes);

  // Where the progress of an extraction is reported; null: nowhere. The view must outlive its use here.
  void setProgressView(ZipProgressView* view) { progressView_ = view; }

 private:
  static std::int32_t unzipCallback(UnzipCallbackData* data);
  std::int32_t handleCallback(UnzipCallbackData& data);
  void askPassword(UnzipCallbackData& data);
  static void answerPassword(UnzipCallbackData& data, const std::string& password);
  static quorrel::MessageRequest request(const QString& text, quorrel::MsgIcon icon,
                                         std::vector<quorrel::MsgButton> buttons, int defaultButton = 0);
  int askYesNoCancel(const QString& text, quorrel::MsgIcon icon, int defaultButton);
  void askDamaged(const QString& name, UnzipCallbackData& data);
  void answerFileExists(const QString& name, UnzipCallbackData& data);
  void hideProgress();
  void showProgress();

  void readDirectory();
  void readCentralHeaders(int fd);
  bool askForDisk(int disk);
  void refuse(const QString& text);
  std::int32_t callLibrary(UnzipCommand& command);

  quorrel::Prompter* prompter_;
  std::string zipFileName_;
  std::string archivePath_;  // the archive's name made absolute when it was set
  ZipProgressView* progressView_ = nullptr;
  ZipProgressView* shownProgress_ = nullptr;  // the progress view during extract()
  std::exception_ptr callbackError_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ZipExtractor::ExtractFlags)
