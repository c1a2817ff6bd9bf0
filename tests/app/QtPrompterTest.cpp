// The Qt message box behind the prompter seam: buttons in the order asked, the clicked one returned.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

#include "common/QtPrompter.h"
#include "support/ScriptedPrompter.h"

using quorrel::MsgButton;

TEST(QtPrompter, ButtonsKeepTheOrderAskedAndTheClickedOneIsReturned) {
  quorrel::MessageRequest r;
  r.title = QStringLiteral("Confirm");
  r.text = QStringLiteral("Размер файла изменился. Обновить?");
  r.icon = quorrel::MsgIcon::Question;
  r.buttons = {MsgButton::Yes, MsgButton::No, MsgButton::NoToAll, MsgButton::YesToAll};

  QStringList shown;
  QTimer::singleShot(0, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    QList<QAbstractButton*> buttons = box->buttons();
    std::sort(buttons.begin(), buttons.end(),
              [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    for (QAbstractButton* b : buttons) shown << b->text();
    buttons[2]->click();
  });
  quorrel::QtPrompter prompter;
  EXPECT_EQ(prompter.ask(r), MsgButton::NoToAll);
  EXPECT_EQ(shown, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No"), QStringLiteral("N&o to All"),
                                QStringLiteral("Yes to &All")}));
}
