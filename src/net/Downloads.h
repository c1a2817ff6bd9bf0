#pragma once
// Single downloads from the update server: the download routine with its size check, shared by the catalogue
// update, the handlers of the download component's events, and the game and screenshot download commands.
#include <QString>
#include <string>
#include <vector>

class QObject;
class HttpGet;

namespace quorrel {

class Catalogue;
class CommandState;
class MessageLog;
class Prompter;
class Settings;

// The window as the transfers see it: they report, the window draws. Each report is drawn before it returns,
// so that progress shows in order while a transfer runs.
class TransferView {
 public:
  virtual ~TransferView() = default;
  // The progress of the transfer under way: `done` of `total` bytes.
  virtual void showTransferProgress(int total, int done) = 0;
  // The file being transferred, as it is shown.
  virtual void showTransferName(const QString& name) = 0;
  // Empties the progress bar (and, with `fullRange`, gives it its range of 0 to 100 again).
  virtual void resetProgress(bool fullRange) = 0;
  virtual void clearTransferLine() = 0;
  // Empties the status bar's panel of plugin messages.
  virtual void clearPluginStatus() = 0;
  // Shows the picture file as the game's screenshot; the picture's error, when it cannot be read, is raised.
  virtual void showScreenshot(const std::string& file) = 0;
  // The game's files, or its screenshot, are in place: there is no more to download of it.
  virtual void gameDownloaded() = 0;
  virtual void screenshotDownloaded() = 0;
};

// The answers "to all" given to the question about a file whose size changed.
struct ChangedFileAnswers {
  bool overwriteAll = false;
  bool skipAll = false;
};

// What became of a file of the server after the download routine.
enum class DownloadResult {
  Arrived,  // fetched whole
  Kept,     // the local copy stays: it has the server's size, or the user chose to keep it
  Failed,   // the name was refused, the transfer failed, or a transfer under way kept it from starting
};

// No screenshot or folder picture is larger than this: a picture's download announced longer is refused.
// The demo's largest screenshot has 9 KB; a picture of a phone's screen, even animated, stays far below.
inline constexpr long long MaxPictureBytes = 4LL * 1024 * 1024;

// A download whose answer was refused (see HttpGet::lastRefused).
struct RefusedDownload {
  std::string path;
  std::string reason;
};

class Downloads {
 public:
  // Makes the download component (a child of `owner`) and sets it up as the update server expects. Everything
  // handed in must outlive this object.
  Downloads(QObject* owner, const Settings& settings, Catalogue& catalogue, MessageLog& log, Prompter& prompter,
            CommandState& commands, TransferView& view);
  Downloads(const Downloads&) = delete;
  Downloads& operator=(const Downloads&) = delete;

  HttpGet& http() { return *http_; }

  // Fetches a file of the update server into the same relative path of the working folder, unless a file of
  // the server's size is there already. A file of another size is replaced as the user answers, or as an
  // answer "to all" already says. While another transfer runs, the component refuses this one and keeps the
  // running transfer's settings.
  DownloadResult downloadFromServer(const std::string& relativePath);
  // downloadFromServer(folder + name) for a name from the catalogue; a name that would leave its folder
  // ("..", an absolute path) fails as a refused path does, with nothing asked of the server.
  DownloadResult downloadInFolder(const std::string& folder, const std::string& name);
  // The answers "to all" given so far; they last until the next catalogue update forgets them.
  ChangedFileAnswers& answers() { return answers_; }
  // Why the last failed transfer or size query failed, in words for the log.
  const std::string& lastFailure() const { return lastFailure_; }
  // Downloads refused so far (counted for the whole run; a caller compares the count before and after).
  const std::vector<RefusedDownload>& refused() const { return refused_; }
  // The size the server gives for the URL, -1 when it gives none.
  int remoteFileSize(const std::string& url);
  // Size of a local file; throws the file error when it cannot be read.
  static int localFileSize(const std::string& path);

  // "Скачать игру": the .jad and .jar of the game last shown. Reports success only when both are in place;
  // otherwise an error names the files that did not arrive, and the button stays for another try.
  void downloadGame();
  // "Скачать скриншот": the screenshot of the game last shown, then shown; a screenshot that did not arrive
  // is reported as the game's files are.
  void downloadScreenshot();

 private:
  void configure();
  // The route of the settings (through the proxy or direct), taken over by the component's next transfer.
  void useProxySettings();
  void progress(int totalSize, int bytesRead);
  void done(int fileSize);
  void failed(const std::string& url);
  // The component's failure: its refusal, if it was one, is logged with its reason before the failure line.
  void transferFailed();
  void endCommand();
  template <typename Body>
  void runCommand(Body body);

  const Settings& settings_;
  Catalogue& catalogue_;
  MessageLog& log_;
  Prompter& prompter_;
  CommandState& commands_;
  TransferView& view_;
  HttpGet* http_;
  ChangedFileAnswers answers_;
  std::string lastFailure_;
  std::string transferPath_;  // the relative path of the transfer under way
  std::vector<RefusedDownload> refused_;
  // Where the transfer under way notes that it arrived. A command run while it is awaited can start a transfer
  // of its own only once that one has ended; it points here for the time of its own and then points back.
  bool* arrival_ = nullptr;
};

}  // namespace quorrel
