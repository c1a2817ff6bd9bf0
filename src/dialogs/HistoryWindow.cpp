#include "dialogs/HistoryWindow.h"

#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/Paths.h"
#include "common/Prompter.h"
#include "common/ShownText.h"
#include "dialogs/FixedWindow.h"

namespace {

constexpr int HistoryWidth = 444;
constexpr int HistoryHeight = 446;
constexpr std::size_t MaxHistoryBytes = 1024 * 1024;

// The start of the text that holds more lines than the window shows (a CR LF pair counts as two breaks here),
// so that a file of a million bare line breaks is not split and converted line by line only to be cut.
std::string shownPart(const std::string& text) {
  std::size_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((text[i] == '\n' || text[i] == '\r') && ++breaks > 2 * quorrel::MaxShownMemoLines + 2) return text.substr(0, i);
  }
  return text;
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* owner, quorrel::Prompter& prompter) : QDialog(owner), prompter_(prompter) {
  setObjectName(QStringLiteral("HistoryWindow"));
  setWindowTitle(QStringLiteral("История версий"));
  quorrel::setUpFixedWindow(this, owner, {HistoryWidth, HistoryHeight, false});

  historyText = new QPlainTextEdit(this);
  historyText->setObjectName(QStringLiteral("historyText"));
  historyText->setGeometry(0, 0, HistoryWidth, HistoryHeight);
  historyText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  historyText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  historyText->setAccessibleName(QStringLiteral("История версий"));
  quorrel::paintInWindowColour(historyText);

  loadHistory();
}

void HistoryWindow::loadHistory() {
  try {
    // The file lies in the working folder, where updates unpack what a server sent: its size is bounded
    // as the news's is.
    bool cut = false;
    const std::string text = quorrel::readFileHead(quorrel::currentDir() + "history.txt",
                                                   quorrel::ReadError::CannotOpen, MaxHistoryBytes, cut);
    QStringList lines;
    for (const std::string& line : quorrel::splitLines(shownPart(text), quorrel::LineBreaks::AnyBreak)) {
      lines << quorrel::fromAnsi(line);
    }
    historyText->setPlainText(quorrel::shownLines(lines.join(QLatin1Char('\n'))));
  } catch (const std::exception& e) {
    // The window still opens, empty, once the user has seen why.
    prompter_.error(e);
  }
}
