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
  std::uint32_t Signature;
  std::uint16_t ThisDiskNo;
  std::uint16_t CentralDiskNo;
  std::uint16_t CentralEntriesThisDisk;
  std::uint16_t TotalEntries;
  std::uint32_t CentralSize;
  std::uint32_t CentralOffset;
  std::uint16_t CommentLength;
};

// The central file header as it stands in the file.
struct CentralFileHeader {
  std::uint32_t Signature;
  std::uint16_t VersionMadeBy;
  std::uint16_t VersionNeeded;
  std::uint16_t Flag;
  std::uint16_t Method;
  std::uint16_t ModTime;
  std::uint16_t ModDate;
  std::uint32_t CRC32;
  std::uint32_t CompressedSize;
  std::uint32_t UncompressedSize;
  std::uint16_t FileNameLength;
  std::uint16_t ExtraLength;
  std::uint16_t FileCommentLength;
  std::uint16_t DiskStart;
  std::uint16_t InternalAttributes;
  std::uint32_t ExternalAttributes;
  std::uint32_t RelativeOffset;
};
#pragma pack(pop)
static_assert(sizeof(EndRecord) == 22, "end record is 22 bytes");
static_assert(sizeof(CentralFileHeader) == 46, "central header is 46 bytes");

constexpr std::uint32_t EndOfCentralSignature = 0x06054B50;
constexpr std::uint32_t CentralFileHeaderSignature = 0x02014B50;

struct EndRecordInfo {
  EndRecord Record{};
  std::string Comment;         // stored unchanged
  std::int32_t Position = -1;  // of the record in the file; -1 until located
};

struct ZipEntry {
  CentralFileHeader Header{};
  std::uint8_t Encrypted = 0;  // bit 0 of the general-purpose flags
  std::string MemberName;      // ANSI; folders separated by the platform's separator
  std::string ExtraField;      // raw bytes
  std::string FileComment;     // ANSI
};

class ZipExtractor : public QObject {
  Q_OBJECT
 public:
  enum ExtractOption {
    ExtractOption0 = 1 << 0,
    ExtractOption1 = 1 << 1,
    ExtractOption2 = 1 << 2,
    ExtractOption3 = 1 << 3,
    ExtractOption4 = 1 << 4,
  };
  Q_DECLARE_FLAGS(ExtractFlags, ExtractOption)

  using BeginFileHandler = std::function<void(QObject* Sender, const std::string& Filename, std::int32_t FileSize,
                                              std::int32_t BatchCount, std::int32_t TotalBytesInBatch)>;
  using ZipProgressHandler = std::function<void(QObject* Sender, const std::string& Filename, std::int32_t BytesDone,
                                                std::int32_t TotalBytes)>;
  using EndBatchHandler = std::function<void(QObject* Sender, std::int32_t SkippedCount, std::int32_t BatchCount,
                                             std::int32_t TotalBytesInBatch)>;
  using NotifyHandler = std::function<void(QObject* Sender)>;

  ZipExtractor(QObject* owner, quorrel::Prompter* prompter);
  ~ZipExtractor() override;

  const std::string& ZipFileName() const { return zipFileName_; }
  // Reads the archive's directory; a missing archive is created empty. Raises ZipException.
  void setZipFileName(const std::string& name);

  // Unpacks the archive: the library's result, or 0 when the library was not called.
  std::int32_t Extract();
  bool LoadUnzipLibrary();

  std::string ZipPassword;   // emptied whenever ZipFileName is set
  std::string DllDirectory;  // empty: the library is searched beside the executable
  std::string ExtractDir;    // empty: the archive's own folder
  ExtractFlags ExtractOptions = ExtractOption0;
  std::vector<std::string> FileSpecs;  // emptied after each library call
  bool ShowProgressDialog = true;      // whether the progress view, when one is set, is told of extractions

  std::vector<ZipEntry> Entries;
  EndRecordInfo EOCH;
  bool OemNames = false;
  bool Cancelled = false;

  BeginFileHandler OnZEDBeginFileEvent;
  ZipProgressHandler OnZEDProgressEvent;
  EndBatchHandler OnZEDEndBatchEvent;
  NotifyHandler OnContentsChanged;
  ZipProgressHandler OnMergeProgress;  // never fired
  ZipProgressHandler OnSpanProgress;   // never fired
  // The most password questions one extraction asks.
  static constexpr int MaxPasswordQuestions = 3;
  // Asked after each report of the library, once pending events ran; true cancels the extraction, as Cancel
  // does (for instance when the window that waits for it was closed).
  std::function<bool()> CancelRequested;

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
  std::string archivePath_;  // ZipFileName made absolute when it was set
  ZipProgressView* progressView_ = nullptr;
  ZipProgressView* shownProgress_ = nullptr;  // the progress view during Extract
  std::exception_ptr callbackError_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ZipExtractor::ExtractFlags)
