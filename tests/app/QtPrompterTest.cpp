// The Qt message box behind the prompter seam: buttons in the order asked, the clicked one returned.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTranslator>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "common/QtPrompter.h"
#include "common/ToolkitTexts.h"
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
    std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    for (QAbstractButton* b : buttons) shown << b->text();
    buttons[2]->click();
  });
  quorrel::QtPrompter prompter;
  EXPECT_EQ(prompter.ask(r), MsgButton::NoToAll);
  EXPECT_EQ(shown, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No"), QStringLiteral("N&o to All"),
                                QStringLiteral("Yes to &All")}));
}

// What the real boxes lay out: a short text as it stands; a huge or forged one bounded, line by line, and never
// taken for markup. The texts asked through the seam stay whole, so only the boxes themselves can show this.
TEST(QtPrompter, BoxesLayOutBoundedPlainTextsAndShortOnesAsTheyStand) {
  const QString huge(10 * 1024 * 1024, QLatin1Char('n'));
  struct Case {
    const char* what;
    QString text;
    QString shown;
  };
  const std::vector<Case> cases = {
      {"a short text with its own line break", QStringLiteral("\"/w/Javadata.zip\"\nis not a valid Zip file."),
       QStringLiteral("\"/w/Javadata.zip\"\nis not a valid Zip file.")},
      {"a name of 10 MB", QStringLiteral("\"") + huge + QStringLiteral("\"\nis not a valid Zip file."),
       QStringLiteral("\"") + QString(999, QLatin1Char('n')) + QStringLiteral("\nis not a valid Zip file.")},
      {"markup and control characters", QStringLiteral("<b>x</b>\r\x1b\tБаза данных успешно обновлена!"),
       QStringLiteral("<b>x</b>\uFFFD\uFFFD\uFFFDБаза данных успешно обновлена!")},
      {"a million line breaks", QString(1 << 20, QLatin1Char('\n')), QString(19, QLatin1Char('\n'))},
  };
  quorrel::QtPrompter prompter;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QString shown;
    Qt::TextFormat format = Qt::RichText;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      shown = box->text();
      format = box->textFormat();
      box->buttons().first()->click();
    });
    quorrel::MessageRequest r;
    r.title = QStringLiteral("Quorrel");
    r.text = c.text;
    EXPECT_EQ(prompter.ask(r), MsgButton::Ok);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(format, Qt::PlainText);
  }

  // The input box alike, and the entry comes back.
  QString prompt;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    prompt = dialog->labelText();
    for (QLabel* label : dialog->findChildren<QLabel*>()) EXPECT_EQ(label->textFormat(), Qt::PlainText);
    dialog->setTextValue(QStringLiteral("secret"));
    dialog->accept();
  });
  QString value;
  EXPECT_TRUE(prompter.inputText(QStringLiteral("Quorrel"),
                                 QStringLiteral("A new password is required for \"") + huge + QStringLiteral("<br>\""),
                                 value));
  EXPECT_EQ(value, QStringLiteral("secret"));
  EXPECT_EQ(prompt, QStringLiteral("A new password is required for \"") + QString(1000 - 32, QLatin1Char('n')));
}

TEST(ToolkitTexts, TextFieldMenusAndInputBoxesSpeakRussianAndOurButtonsStayAsTheyAre) {
  QTranslator* russian = quorrel::installToolkitTexts();
  ASSERT_NE(russian, nullptr) << "no qtbase_ru.qm in " << quorrel::toolkitTextsFolder().toStdString();
  QLineEdit edit;
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  QStringList texts;
  for (QAction* a : menu->actions()) texts << a->text();
  EXPECT_TRUE(texts.join(' ').contains(QStringLiteral("Копировать"))) << texts.join(' ').toStdString();
  QDialogButtonBox standard(QDialogButtonBox::Cancel);
  EXPECT_EQ(standard.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));

  // A question of ours keeps the buttons' texts it was asked with.
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    QStringList buttons;
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("Yes to &All"), QStringLiteral("N&o to All")}));
    box->buttons().front()->click();
  });
  quorrel::QtPrompter prompter;
  quorrel::MessageRequest request;
  request.text = QStringLiteral("?");
  request.buttons = {quorrel::MsgButton::YesToAll, quorrel::MsgButton::NoToAll};
  EXPECT_EQ(prompter.ask(request), quorrel::MsgButton::YesToAll);

  QCoreApplication::removeTranslator(russian);
  delete russian;
}
