#pragma once
// What every fuzz target shares: a scratch working folder made the current directory for the whole run,
// whole-file helpers, a prompter that answers every box with its default and remembers what was asked, and
// the real main window for the readers that live in it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Prompter.h"

class MainWindow;

namespace fuzzsupport {

// Makes a fresh folder under $TMPDIR (or /tmp), enters it and removes it at exit. Idempotent.
void enterScratchFolder();
// The scratch folder with a trailing "/".
const std::string& scratchFolder();

void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size);
void writeBytes(const std::string& path, const std::string& bytes);
// The whole file; `ok` false (and empty text) when it cannot be read.
std::string readBytes(const std::string& path, bool* ok = nullptr);
// Removes every entry of the scratch folder, so one input leaves nothing for the next.
void clearScratchFolder();

// A broken promise of the code under test: printed and aborted, so libFuzzer keeps the input.
[[noreturn]] void fail(const std::string& what);
#define FUZZ_CHECK(cond, what)              \
  do {                                      \
    if (!(cond)) ::fuzzsupport::fail(what); \
  } while (0)

// Answers every box with its default button, except a box asked again at once, which it cancels.
class RecordingPrompter : public quorrel::Prompter {
 public:
  quorrel::MsgButton ask(const quorrel::MessageRequest& request) override;
  bool inputText(const QString& title, const QString& prompt, QString& value) override;
  std::vector<quorrel::MessageRequest> asked;
};

// A server on 127.0.0.1 for the whole run: every connection gets the answer that `answer` gives for the
// request's first line ("GET /path HTTP/1.0"), and is closed after it.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::function<std::string(const std::string& requestLine)> answer);
  int port() const { return port_; }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  void serve();
  int listenFd_ = -1;
  int port_ = 0;
  std::function<std::string(const std::string&)> answer_;
};

// The one QApplication of the process (offscreen), made on first use.
void ensureApplication();

// The main window with its two dialogs, made once (offscreen) in the scratch folder on first use; its
// creation step's own messages are forgotten.
MainWindow& mainWindow();
RecordingPrompter& windowPrompter();

}  // namespace fuzzsupport
