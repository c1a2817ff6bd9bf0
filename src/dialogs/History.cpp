#include "dialogs/History.h"

#include <fcntl.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <cerrno>
#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "dialogs/FixedWindow.h"

namespace {

constexpr int ClientWidth = 444;
constexpr int ClientHeight = 446;

[[noreturn]] void cannotOpen(const std::string& path, int errnoValue) {
  throw quorrel::QuorrelError("Cannot open file \"" + path + "\". " + quorrel::ioErrorText(errnoValue));
}

std::string readWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) cannotOpen(path, errno);
  std::string bytes;
  char buf[65536];
  while (true) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      cannotOpen(path, err);
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

// Lines end with CR LF, a lone LF or a lone CR; the end of the last line needs no line break.
std::vector<std::string> splitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < bytes.size()) {
    const auto end = bytes.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
    if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
  }
  return lines;
}

}  // namespace

THistoryForm::THistoryForm(TMainForm* owner) : QDialog(owner), owner_(owner) {
  setObjectName(QStringLiteral("HistoryForm"));
  setWindowTitle(QStringLiteral("История версий"));
  quorrel::setUpFixedWindow(this, owner, {ClientWidth, ClientHeight, false});

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(0, 0, ClientWidth, ClientHeight);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setAccessibleName(QStringLiteral("История версий"));
  quorrel::paintInWindowColour(Memo1);

  FormCreate();
}

void THistoryForm::FormCreate() {
  try {
    QStringList lines;
    for (const std::string& line : splitLines(readWholeFile(quorrel::currentDir() + "history.txt"))) {
      lines << quorrel::fromAnsi(line);
    }
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
  } catch (const std::exception& e) {
    // The window still opens, empty, once the user has seen why.
    owner_->prompter().error(e);
  }
}
