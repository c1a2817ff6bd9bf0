#include "net/ZipExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "common/Ansi.h"
#include "common/Paths.h"
#include "common/ShownText.h"
#include "net/UnzipLibrary.h"

namespace {

// The separator of folders in member names as this platform writes them.
constexpr char PathSeparator = '/';
constexpr std::int32_t CentralSizeLimit = 1024000;
constexpr int DiskNumberLimit = 1000;
constexpr std::int32_t EndSearchSpan = 65535;

// State of the running extraction. The library calls back through a plain function, and one extraction
// runs at a time, so it lives here rather than in a component.
// Byte counts are 64-bit: an archive may unpack to more than 2 GiB before its limit stops it.
struct BatchState {
  std::string fileName;
  std::int32_t batchCount = 0;
  std::int32_t totalBytesInBatch = 0;
  std::int64_t bytesDone = 0;
  std::int32_t skippedCount = 0;
  std::int64_t limit = INT64_MAX;      // bytes the extraction may write
  std::int64_t freeBytes = INT64_MAX;  // on the destination's disk when it started
  std::string password;                // the last one the user gave, ANSI
  std::string passwordTriedOn;         // the member it was last handed out for
  int passwordQuestions = 0;
};
BatchState batch;

constexpr std::int64_t MiB = 1024 * 1024;
constexpr std::int64_t FreeSpaceMargin = 32 * MiB;
constexpr std::int64_t LimitFloor = 64 * MiB;
constexpr std::int64_t LimitCeiling = 1024 * MiB;
constexpr std::int64_t ExpansionFactor = 100;

// Bytes free for an unprivileged user on the file system of `folder`; INT64_MAX when it cannot be told.
std::int64_t freeBytes(const std::string& folder) {
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) != 0) return INT64_MAX;
  const unsigned long long bytes = static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
  return bytes > static_cast<unsigned long long>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(bytes);
}

std::string tooLarge(const std::string& archive, std::int64_t limit) {
  std::string room;
  if (batch.freeBytes < INT64_MAX) room = "; свободно на диске " + std::to_string(batch.freeBytes / MiB) + " МБ";
  return "Архив \"" + archive + "\" распаковывается в слишком большой объём (больше " +
         std::to_string(std::max<std::int64_t>(limit, 0) / MiB) + " МБ" + room + "): распаковка остановлена.";
}

class FileHandle {
 public:
  explicit FileHandle(const std::string& path) { open(path); }
  ~FileHandle() { close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }
  void open(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Reads exactly `size` bytes at `offset`; false on a short read.
bool readAt(int fd, long long offset, void* buf, size_t size) {
  if (offset < 0) return false;
  auto* p = static_cast<char*>(buf);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, p + done, size - done, static_cast<off_t>(offset + static_cast<long long>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Position of the end record in an archive of `size` bytes, -1 when there is none.
long long locateEndRecord(int fd, long long size) {
  constexpr size_t RecordSize = sizeof(EndRecord);
  if (size < static_cast<long long>(RecordSize)) return -1;
  std::uint32_t sig = 0;
  if (readAt(fd, size - static_cast<long long>(RecordSize), &sig, sizeof sig) && sig == EndOfCentralSignature)
    return size - static_cast<long long>(RecordSize);
  const long long span = std::min<long long>(size, EndSearchSpan);
  std::string tail(static_cast<size_t>(span), '\0');
  if (!readAt(fd, size - span, tail.data(), tail.size())) return -1;
  for (long long i = span - static_cast<long long>(RecordSize); i >= 0; --i) {
    std::memcpy(&sig, tail.data() + i, sizeof sig);
    if (sig == EndOfCentralSignature) return size - span + i;
  }
  return -1;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  return quorrel::currentDir() + path;
}

// No labelled removable disks here: every archive counts as disk 0.
int archiveDiskNumber(const std::string&) { return 0; }

std::string notValidZip(const std::string& path) { return "\"" + path + "\"\nis not a valid Zip file."; }

// A member name from the library as the progress window and the questions show it: a line break or another
// control character in it is replaced, so that it cannot add a line to a question.
QString fromLibrary(const char* text) { return quorrel::shownLabel(QFile::decodeName(QByteArray(text))); }

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// ZipExtractor

quorrel::MessageRequest ZipExtractor::request(const QString& text, quorrel::MsgIcon icon,
                                              std::vector<quorrel::MsgButton> buttons, int defaultButton) {
  quorrel::MessageRequest r;
  r.title = quorrel::appTitle();
  r.text = text;
  r.icon = icon;
  r.buttons = std::move(buttons);
  r.defaultButton = defaultButton;
  return r;
}

ZipExtractor::ZipExtractor(QObject* owner, quorrel::Prompter* prompter) : QObject(owner), prompter_(prompter) {}

ZipExtractor::~ZipExtractor() {
  fileSpecs.clear();
  entries.clear();
  UnzipLibrary::unload();
}

void ZipExtractor::setZipFileName(const std::string& name) {
  zipPassword.clear();
  oemNames = false;
  endRecord = EndRecordInfo{};
  endRecord.record.signature = EndOfCentralSignature;
  entries.clear();
  zipFileName_ = name;
  archivePath_ = name.empty() ? name : absolutePath(name);
  if (!name.empty()) {
    const std::string folder = folderOf(name);
    if (!quorrel::directoryExists(folder) || ::access(folder.c_str(), X_OK) != 0)
      throw ZipException("Unable to access the selected drive!");
    if (!quorrel::fileExists(name)) {
      // An empty archive: the end record alone.
      EndRecord empty{};
      empty.signature = EndOfCentralSignature;
      const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      const bool written = fd >= 0 && ::write(fd, &empty, sizeof empty) == static_cast<ssize_t>(sizeof empty);
      if (fd >= 0 && (::close(fd) != 0 || !written)) ::unlink(name.c_str());
      if (!written) throw ZipException("Unable to create \n\"" + name + "\"");
    }
    readDirectory();
  }
  if (handlers.contentsChanged) handlers.contentsChanged();
}

bool ZipExtractor::askForDisk(int disk) {
  // Disks of a spanned archive are told apart by their volume labels, and no drive here carries such labels:
  // no disk the user could insert would ever be the one asked for, so asking would only ask again and again.
  // The read then ends as after a cancelled prompt.
  return archiveDiskNumber(zipFileName_) == disk;
}

void ZipExtractor::readDirectory() {
  entries.clear();
  if (zipFileName_.empty()) return;
  FileHandle file(zipFileName_);
  long long position = -1;
  while (true) {
    struct stat st {};
    if (file.fd() >= 0 && ::fstat(file.fd(), &st) == 0) position = locateEndRecord(file.fd(), st.st_size);
    if (position >= 0) break;
    const int disk = archiveDiskNumber(zipFileName_);
    if (disk == 0) throw ZipException(notValidZip(zipFileName_));
    // A disk of a spanned archive other than the last: ask for the last one.
    file.close();
    const QString text = QStringLiteral(
                             "This is [ Disk %1 ] of a multiple disk Zip file.\n"
                             "Insert the last disk of the Zip file before pressing [ OK ] to continue ...")
                             .arg(disk);
    if (prompter_->ask(request(text, quorrel::MsgIcon::Information,
                               {quorrel::MsgButton::Ok, quorrel::MsgButton::Cancel})) != quorrel::MsgButton::Ok)
      return;
    file.open(zipFileName_);
  }
  // A record beyond 2 GB cannot be addressed by this format's 32-bit offsets.
  if (position > INT32_MAX || !readAt(file.fd(), position, &endRecord.record, sizeof endRecord.record))
    throw ZipException(notValidZip(zipFileName_));
  endRecord.position = static_cast<std::int32_t>(position);
  const EndRecord& rec = endRecord.record;
  if (rec.thisDiskNo > DiskNumberLimit || rec.centralDiskNo > DiskNumberLimit || rec.centralSize > CentralSizeLimit)
    throw ZipException(notValidZip(zipFileName_));
  std::string comment(rec.commentLength, '\0');
  if (readAt(file.fd(), position + static_cast<long long>(sizeof rec), comment.data(), comment.size()))
    endRecord.comment = comment;
  if (rec.totalEntries == 0) return;
  if (rec.centralDiskNo != rec.thisDiskNo && !askForDisk(rec.centralDiskNo)) return;
  try {
    readCentralHeaders(file.fd());
  } catch (const ZipException&) {
    entries.clear();
    throw;
  }
}

namespace {

// Reads as readAt does, through a window of the file kept in memory: a directory of tens of thousands of
// members is read in a few calls rather than four per member.
class WindowedReader {
 public:
  explicit WindowedReader(int fd) : fd_(fd) {}
  bool read(long long offset, void* buf, size_t size) {
    if (offset < 0) return false;
    if (offset < start_ || offset + static_cast<long long>(size) > start_ + static_cast<long long>(window_.size())) {
      if (size > WindowBytes) return readAt(fd_, offset, buf, size);
      window_.resize(WindowBytes);
      size_t got = 0;
      while (got < window_.size()) {
        const ssize_t n = ::pread(fd_, window_.data() + got, window_.size() - got,
                                  static_cast<off_t>(offset + static_cast<long long>(got)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
      window_.resize(got);
      start_ = offset;
      if (got < size) return false;
    }
    std::memcpy(buf, window_.data() + (offset - start_), size);
    return true;
  }

 private:
  static constexpr size_t WindowBytes = 256 * 1024;
  int fd_;
  long long start_ = 0;
  std::string window_;
};

}  // namespace

void ZipExtractor::readCentralHeaders(int fd) {
  WindowedReader reader(fd);
  const EndRecord& rec = endRecord.record;
  // Counting back from the end record tolerates bytes before the archive proper (a self-extracting stub).
  long long offset = rec.thisDiskNo != 0 ? static_cast<long long>(rec.centralOffset)
                                         : static_cast<long long>(endRecord.position) - rec.centralSize;
  const auto fail = [] { throw ZipException("Error reading 'CentralFileHeader'!"); };
  const auto readText = [&](std::uint16_t length) {
    std::string s(length, '\0');
    if (!reader.read(offset, s.data(), s.size())) fail();
    offset += length;
    return s;
  };
  entries.reserve(rec.totalEntries);
  for (int i = 0; i < rec.totalEntries; ++i) {
    // A spanned archive would continue on the next disk; there are none here, so a short read fails.
    CentralFileHeader header{};
    if (!reader.read(offset, &header, sizeof header)) fail();
    offset += static_cast<long long>(sizeof header);
    if (header.signature != CentralFileHeaderSignature) fail();
    if (i == 0) {
      const int host = header.versionMadeBy >> 8;
      const int version = header.versionMadeBy & 0xFF;
      oemNames = host == 0 || host == 6 || (host == 11 && version == 50);
    }
    ZipEntry& info = entries.emplace_back();
    info.memberName = readText(header.fileNameLength);
    if (oemNames) info.memberName = quorrel::oemToAnsi(info.memberName);
    std::replace(info.memberName.begin(), info.memberName.end(), '/', PathSeparator);
    info.extraField = readText(header.extraLength);
    info.fileComment = readText(header.fileCommentLength);
    if (oemNames) info.fileComment = quorrel::oemToAnsi(info.fileComment);
    info.header = header;
    info.encrypted = header.flag & 1;
  }
}

void ZipExtractor::refuse(const QString& text) {
  prompter_->ask(request(text, quorrel::MsgIcon::Information, {quorrel::MsgButton::Ok}));
}

std::int64_t ZipExtractor::unpackLimit(std::int64_t freeBytes, std::int64_t archiveBytes) {
  const std::int64_t expansion =
      archiveBytes > LimitCeiling / ExpansionFactor ? LimitCeiling : archiveBytes * ExpansionFactor;
  const std::int64_t bound = std::min(std::max(expansion, LimitFloor), LimitCeiling);
  const std::int64_t room = freeBytes > FreeSpaceMargin ? freeBytes - FreeSpaceMargin : 0;
  return std::min(bound, room);
}

bool ZipExtractor::loadUnzipLibrary() {
  if (UnzipLibrary::isLoaded()) return true;
  std::string path = UnzipLibrary::fileName;
  if (!dllDirectory.empty()) {
    std::string dir = dllDirectory;
    if (dir.back() != '/') dir += '/';
    path = dir + path;
  }
  return UnzipLibrary::load(path);
}

std::int32_t ZipExtractor::extract() {
  cancelled = false;
  if (entries.empty()) return 0;
  if (endRecord.record.thisDiskNo > 0) {
    refuse(
        QStringLiteral("Cannot Add, Delete or Extract from a multiple disk Zip file...\n"
                       "Merge this Zip file onto the hard disk before retrying."));
    return 0;
  }
  if (!extractDir.empty() && !quorrel::directoryExists(extractDir)) {
    refuse(QStringLiteral("Unable to extract files to:\n\"%1\"\nThis folder does not exist.")
               .arg(QFile::decodeName(QByteArray::fromStdString(extractDir))));
    return 0;
  }
  if (!loadUnzipLibrary()) throw ZipException("Unable to load \"UnzDll.dll\".");

  // The library opens the archive after the change of folder, so it gets the full path of the file listed.
  const std::string& archive = archivePath_;
  const std::string destination = extractDir.empty() ? folderOf(archive) : extractDir;
  if (::chdir(destination.c_str()) != 0)
    throw ZipException("Unable to extract files to:\n\"" + destination + "\"\n" + quorrel::ioErrorText(errno));

  // An archive may unpack to far more than it holds: the extraction stops with an error before it would write
  // more than the limit, also when the sizes the archive records are lies.
  batch.password.clear();
  batch.passwordTriedOn.clear();
  batch.passwordQuestions = 0;
  batch.freeBytes = freeBytes(destination);
  batch.limit = unpackLimit(batch.freeBytes, std::max<long long>(quorrel::fileSize(archive), 0));
  if (fileSpecs.empty()) {
    std::int64_t declared = 0;
    for (const ZipEntry& entry : entries) declared += entry.header.uncompressedSize;
    if (declared > batch.limit) throw ZipException(tooLarge(archive, batch.limit));
  }

  UnzipCommand command{};
  command.Caller = this;
  command.Version = UNZ_COMMAND_VERSION;
  command.Callback = &ZipExtractor::unzipCallback;
  command.Password = zipPassword.empty() ? nullptr : zipPassword.c_str();
  const auto has = [this](ExtractOption o) { return extractOptions.testFlag(o); };
  const auto flag = [](bool b) { return b ? -1 : 0; };
  command.OverwriteOnly = flag(has(Overwrite) && !has(UpdateOlder) && !has(FreshenOlder));
  command.ExtractFiles = -1;
  command.UpdateOlder = flag(has(UpdateOlder));
  command.FreshenOlder = flag(has(FreshenOlder) && !has(UpdateOlder));
  command.Option4 = flag(has(LibraryOption4));
  command.NeverOverwrite = flag(!has(UpdateOlder) && !has(FreshenOlder) && !has(Overwrite));
  command.FileSpecCount = static_cast<std::int32_t>(fileSpecs.size());
  command.ZipFileName = archive.c_str();
  std::vector<UnzipFileSpec> fileSpecArray(fileSpecs.size());
  for (size_t i = 0; i < fileSpecs.size(); ++i) fileSpecArray[i].FileSpec = fileSpecs[i].c_str();
  command.FileSpecs = fileSpecArray.empty() ? nullptr : fileSpecArray.data();
  command.Fixed104 = 3;
  command.Fixed144 = 7;

  // The progress view's extraction ends, and fileSpecs go, once the library was called, also when the call
  // failed.
  struct AfterCall {
    ZipExtractor* zip;
    ~AfterCall() {
      if (ZipProgressView* shown = std::exchange(zip->shownProgress_, nullptr)) shown->extractionEnded();
      zip->fileSpecs.clear();
    }
  } afterCall{this};
  if (showProgressDialog && progressView_) {
    shownProgress_ = progressView_;
    shownProgress_->extractionStarted();
  }
  return callLibrary(command);
}

std::int32_t ZipExtractor::callLibrary(UnzipCommand& command) {
  callbackError_ = nullptr;
  const std::int32_t result = UnzipLibrary::entryPoint()(&command);
  // An error raised while answering the library stopped it; it reaches the caller now.
  if (callbackError_) {
    std::exception_ptr e = callbackError_;
    callbackError_ = nullptr;
    std::rethrow_exception(e);
  }
  return result;
}

std::int32_t ZipExtractor::unzipCallback(UnzipCallbackData* data) {
  auto* zip = static_cast<ZipExtractor*>(data->Caller);
  if (zip->cancelled) return UNZ_CALLBACK_STOP;
  // Nothing may unwind through the library: an error is kept for Extract and stops the work.
  try {
    return zip->handleCallback(*data);
  } catch (...) {
    zip->callbackError_ = std::current_exception();
    zip->cancelled = true;
    return UNZ_CALLBACK_STOP;
  }
}

std::int32_t ZipExtractor::handleCallback(UnzipCallbackData& data) {
  data.Text[UNZ_TEXT_SIZE - 1] = '\0';
  switch (data.ActionCode) {
    case UNZ_ACTION_MEMBER_BEGINS:
      batch.fileName = data.Text;
      if (handlers.memberBegins)
        handlers.memberBegins(batch.fileName, data.Value, batch.batchCount, batch.totalBytesInBatch);
      if (shownProgress_) shownProgress_->memberBegins(fromLibrary(data.Text));
      break;
    case UNZ_ACTION_PROGRESS:
      batch.bytesDone += std::max<std::int32_t>(data.Value, 0);
      if (batch.bytesDone > batch.limit) throw ZipException(tooLarge(archivePath_, batch.limit));
      if (handlers.progress) handlers.progress(batch.fileName, data.Value, batch.totalBytesInBatch);
      if (shownProgress_) shownProgress_->bytesDone(batch.bytesDone);
      break;
    case UNZ_ACTION_BATCH_ENDS:
      if (handlers.batchEnded) handlers.batchEnded(batch.skippedCount, batch.batchCount, batch.totalBytesInBatch);
      if (shownProgress_) shownProgress_->batchEnded();
      break;
    case UNZ_ACTION_MEMBER_COUNT:
      batch.batchCount = data.Value;
      break;
    case UNZ_ACTION_BATCH_SIZE:
      batch.totalBytesInBatch = data.Value;
      batch.bytesDone = 0;
      batch.skippedCount = 0;
      if (shownProgress_) shownProgress_->batchSize(data.Value);
      break;
    case UNZ_ACTION_PASSWORD:
      askPassword(data);
      break;
    case UNZ_ACTION_CRC_ERROR:
      askDamaged(fromLibrary(data.Text), data);
      break;
    case UNZ_ACTION_FILE_EXISTS:
      answerFileExists(fromLibrary(data.Text), data);
      break;
    case UNZ_ACTION_MEMBER_SKIPPED:
      ++batch.skippedCount;
      break;
    default:
      break;
  }
  // Lets the window paint and a click on Cancel or a closed window arrive while the library works.
  if (!cancelled) QCoreApplication::processEvents();
  if (!cancelled && cancelRequested && cancelRequested()) cancelled = true;
  return cancelled ? UNZ_CALLBACK_STOP : UNZ_CALLBACK_CONTINUE;
}

void ZipExtractor::hideProgress() {
  if (shownProgress_) shownProgress_->questionAsked();
}

void ZipExtractor::showProgress() {
  if (shownProgress_ && !cancelled) shownProgress_->questionAnswered();
}

// The password given for an archive is tried on each later member that asks for one before the user is asked
// again, and one extraction asks at most MaxPasswordQuestions times: an archive of thousands of encrypted
// members would otherwise ask once for each. Past the bound a member that asks is skipped, as after an empty
// answer. Cancel ends the extraction.
void ZipExtractor::askPassword(UnzipCallbackData& data) {
  const std::string member = data.Text;
  if (!batch.password.empty() && batch.passwordTriedOn != member) {
    batch.passwordTriedOn = member;
    answerPassword(data, batch.password);
    return;
  }
  if (batch.passwordQuestions >= MaxPasswordQuestions) {
    data.Answer = 0;
    data.Value = 0;
    return;
  }
  ++batch.passwordQuestions;
  hideProgress();
  QString entry;
  const bool ok = prompter_->inputText(
      quorrel::appTitle(), QStringLiteral("A new password is required for \"%1\"").arg(fromLibrary(data.Text)), entry);
  showProgress();
  if (!ok) cancelled = true;
  if (ok && !entry.isEmpty()) {
    std::string password = quorrel::toAnsi(entry);
    password.resize(std::min<size_t>(password.size(), UNZ_TEXT_SIZE - 1));
    batch.password = password;
    batch.passwordTriedOn = member;
    answerPassword(data, password);
  } else {
    data.Answer = 0;
    data.Value = 0;
  }
}

void ZipExtractor::answerPassword(UnzipCallbackData& data, const std::string& password) {
  std::memcpy(data.Text, password.c_str(), password.size() + 1);
  data.Answer = 1;
  if (data.Value > 0) --data.Value;
}

// A Yes/No/Cancel question with the progress window out of the way: 1 for Yes, 0 for No; Cancel sets
// `cancelled` and answers 0.
int ZipExtractor::askYesNoCancel(const QString& text, quorrel::MsgIcon icon, int defaultButton) {
  hideProgress();
  const quorrel::MsgButton answer = prompter_->ask(request(
      text, icon, {quorrel::MsgButton::Yes, quorrel::MsgButton::No, quorrel::MsgButton::Cancel}, defaultButton));
  if (answer != quorrel::MsgButton::Yes && answer != quorrel::MsgButton::No) cancelled = true;
  showProgress();
  return answer == quorrel::MsgButton::Yes ? 1 : 0;
}

void ZipExtractor::askDamaged(const QString& name, UnzipCallbackData& data) {
  const int answer =
      askYesNoCancel(QStringLiteral("\"%1\" may be corrupted (CRC error).\nExtract this file anyway? ...").arg(name),
                     quorrel::MsgIcon::Question, 1);
  if (!cancelled) data.Answer = answer;
}

void ZipExtractor::answerFileExists(const QString& name, UnzipCallbackData& data) {
  const bool existingIsOlder = (data.Answer & 1) != 0;
  const bool updateOlder = extractOptions.testFlag(UpdateOlder) || extractOptions.testFlag(FreshenOlder);
  if (!updateOlder && !extractOptions.testFlag(AskBeforeOverwrite)) {
    data.Value = 1;
  } else if (updateOlder) {
    data.Value = existingIsOlder ? 1 : 0;
  } else if (existingIsOlder) {
    data.Value =
        askYesNoCancel(QStringLiteral("\"%1\" is older than the zipped file.\nOverwrite this file? ...").arg(name),
                       quorrel::MsgIcon::Information, 0);
  } else {
    data.Value = askYesNoCancel(QStringLiteral("\"%1\" is the same age or newer than the zipped file.\n"
                                               "Do you really want to overwrite this file? ...")
                                    .arg(name),
                                quorrel::MsgIcon::Error, 1);
  }
}
