#include "common/QtPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "common/ShownText.h"

namespace quorrel {

namespace {

QString buttonText(MsgButton b) {
  switch (b) {
    case MsgButton::Ok:
      return QStringLiteral("OK");
    case MsgButton::Cancel:
      return QStringLiteral("Cancel");
    case MsgButton::Yes:
      return QStringLiteral("&Yes");
    case MsgButton::No:
      return QStringLiteral("&No");
    case MsgButton::NoToAll:
      return QStringLiteral("N&o to All");
    case MsgButton::YesToAll:
      return QStringLiteral("Yes to &All");
  }
  return {};
}

QMessageBox::Icon boxIcon(MsgIcon i) {
  switch (i) {
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Warning:
      return QMessageBox::Warning;
    case MsgIcon::Error:
      return QMessageBox::Critical;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

MsgButton QtPrompter::ask(const MessageRequest& request) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(shownLabel(request.title));
  // Texts name files and entries from outside: bounded before the box lays them out, and never markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(shownMessage(request.text));
  box.setIcon(boxIcon(request.icon));
  std::vector<QAbstractButton*> made;
  for (size_t i = 0; i < request.buttons.size(); ++i) {
    // One role for all keeps the buttons in the order asked; Qt would otherwise sort them by role.
    QPushButton* b = box.addButton(buttonText(request.buttons[i]), QMessageBox::ActionRole);
    made.push_back(b);
    if (static_cast<int>(i) == request.defaultButton) box.setDefaultButton(b);
    if (request.buttons[i] == MsgButton::Cancel || (request.buttons.size() == 1 && i == 0)) box.setEscapeButton(b);
  }
  box.exec();
  for (size_t i = 0; i < made.size(); ++i) {
    if (box.clickedButton() == made[i]) return request.buttons[i];
  }
  return MsgButton::Cancel;
}

bool QtPrompter::inputText(const QString& title, const QString& prompt, QString& value) {
  QInputDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(shownLabel(title));
  dialog.setLabelText(shownMessage(prompt));
  for (QLabel* label : dialog.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextEchoMode(QLineEdit::Normal);
  dialog.setTextValue(value);
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.textValue();
  return true;
}

}  // namespace quorrel
