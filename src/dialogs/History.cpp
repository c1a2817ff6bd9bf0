#include "dialogs/History.h"

#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/Paths.h"
#include "common/ShownText.h"
#include "dialogs/FixedWindow.h"

namespace {

constexpr int ClientWidth = 444;
constexpr int ClientHeight = 446;
constexpr std::size_t MaxHistoryBytes = 1024 * 1024;

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
    // The file lies in the working folder, where updates unpack what a server sent: its size is bounded
    // as the news's is.
    bool cut = false;
    const std::string text = quorrel::readFileHead(quorrel::currentDir() + "history.txt",
                                                   quorrel::ReadError::CannotOpen, MaxHistoryBytes, cut);
    QStringList lines;
    for (const std::string& line : quorrel::splitLines(text, quorrel::LineBreaks::AnyBreak)) {
      lines << quorrel::fromAnsi(line);
    }
    Memo1->setPlainText(quorrel::shownLines(lines.join(QLatin1Char('\n'))));
  } catch (const std::exception& e) {
    // The window still opens, empty, once the user has seen why.
    owner_->prompter().error(e);
  }
}
