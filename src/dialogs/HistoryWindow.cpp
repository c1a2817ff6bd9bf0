#include "dialogs/HistoryWindow.h"

#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/Paths.h"
#include "common/Prompter.h"
#include "dialogs/FixedWindow.h"

namespace {

constexpr int ClientWidth = 444;
constexpr int ClientHeight = 446;

}  // namespace

HistoryWindow::HistoryWindow(QWidget* owner, quorrel::Prompter& prompter) : QDialog(owner), prompter_(prompter) {
  setObjectName(QStringLiteral("HistoryWindow"));
  setWindowTitle(QStringLiteral("История версий"));
  quorrel::setUpFixedWindow(this, owner, {ClientWidth, ClientHeight, false});

  historyText = new QPlainTextEdit(this);
  historyText->setObjectName(QStringLiteral("historyText"));
  historyText->setGeometry(0, 0, ClientWidth, ClientHeight);
  historyText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  historyText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  historyText->setAccessibleName(QStringLiteral("История версий"));
  quorrel::paintInWindowColour(historyText);

  loadHistory();
}

void HistoryWindow::loadHistory() {
  try {
    QStringList lines;
    for (const std::string& line : quorrel::splitLines(
             quorrel::readFileBytes(quorrel::currentDir() + "history.txt", quorrel::ReadError::CannotOpen),
             quorrel::LineBreaks::AnyBreak)) {
      lines << quorrel::fromAnsi(line);
    }
    historyText->setPlainText(lines.join(QLatin1Char('\n')));
  } catch (const std::exception& e) {
    // The window still opens, empty, once the user has seen why.
    prompter_.error(e);
  }
}
