#include "settings/SettingsDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "common/Ansi.h"
#include "common/Place.h"
#include "common/Prompter.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"

using quorrel::fromAnsi;
using quorrel::toAnsi;

namespace {

using quorrel::place;

QGroupBox* group(QWidget* parent, const char* name, const QString& title, int left, int top, int width, int height) {
  auto* g = place(new QGroupBox(title, parent), name, left, top, width, height);
  g->setAccessibleName(title);
  return g;
}

// A caption label and the field it names; the field is found by screen readers under the caption's text.
QLabel* label(QWidget* parent, const char* name, const QString& text, QWidget* buddy, int left, int top, int width) {
  auto* l = place(new QLabel(text, parent), name, left, top, width, 17);
  l->setBuddy(buddy);
  l->setAccessibleName(text);
  QString fieldName = text;
  if (fieldName.endsWith(QLatin1Char(':'))) fieldName.chop(1);
  buddy->setAccessibleName(fieldName);
  return l;
}

template <typename B>
B* captioned(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height) {
  auto* b = place(new B(text, parent), name, left, top, width, height);
  b->setAccessibleName(text);
  return b;
}

QComboBox* editableList(QWidget* parent, const char* name, const QStringList& items, int left, int top) {
  auto* c = place(new QComboBox(parent), name, left, top, 105, 21);
  c->setEditable(true);
  // A typed value is used as it stands; it is not added to the list.
  c->setInsertPolicy(QComboBox::NoInsert);
  c->addItems(items);
  c->setCurrentIndex(0);
  return c;
}

}  // namespace

// ---- The dialog ------------------------------------------------------------------------------------------
SettingsDialog::SettingsDialog(quorrel::Settings& settings, quorrel::Prompter& prompter, quorrel::MessageLog& log,
                               QWidget* parent)
    : QDialog(parent), settings_(settings), prompter_(prompter), file_(settings, log, *this) {
  setObjectName(QStringLiteral("settingsDialog"));
  setWindowTitle(QStringLiteral("Настройка соединения"));
  // Fixed single border, no system menu and no close box; Escape still cancels.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  if (parent) setFont(parent->font());
  setFixedSize(504, 295);
  buildLayout();
  connectHandlers();
  prompter_.guarded([this] { readSettingsFile(); });
}

void SettingsDialog::buildLayout() {
  updateGroup = group(this, "updateGroup", QStringLiteral("Настройка internet обновления"), 8, 8, 240, 185);
  updateServerEdit = place(new QLineEdit(updateGroup), "updateServerEdit", 10, 40, 220, 21);
  updateServerCaption = label(updateGroup, "updateServerCaption", QStringLiteral("Адрес сервера обновлений:"),
                              updateServerEdit, 10, 22, 220);
  catalogueOnlyButton = captioned<QRadioButton>(updateGroup, "catalogueOnlyButton",
                                                QStringLiteral("Обновлять только xml базу"), 10, 72, 220, 17);
  withScreenshotsButton = captioned<QRadioButton>(updateGroup, "withScreenshotsButton",
                                                  QStringLiteral("Обновлять xml базу и скриншоты"), 10, 95, 220, 17);
  wholeBaseButton = captioned<QRadioButton>(updateGroup, "wholeBaseButton",
                                            QStringLiteral("Обновлять всю базу целиком"), 10, 118, 220, 17);
  folderPicturesBox = captioned<QCheckBox>(updateGroup, "folderPicturesBox",
                                           QStringLiteral("Обновлять картинки директорий"), 10, 150, 220, 17);

  proxyGroup = group(this, "proxyGroup", QStringLiteral("Прокси сервер"), 256, 8, 240, 185);
  useProxyBox =
      captioned<QCheckBox>(proxyGroup, "useProxyBox", QStringLiteral("Использовать прокси сервер"), 10, 22, 220, 17);
  proxyHostEdit = place(new QLineEdit(proxyGroup), "proxyHostEdit", 70, 52, 160, 21);
  proxyHostCaption = label(proxyGroup, "proxyHostCaption", QStringLiteral("Хост:"), proxyHostEdit, 10, 54, 58);
  proxyPortEdit = place(new QLineEdit(proxyGroup), "proxyPortEdit", 70, 84, 160, 21);
  proxyPortCaption = label(proxyGroup, "proxyPortCaption", QStringLiteral("Порт:"), proxyPortEdit, 10, 86, 58);
  proxyUserEdit = place(new QLineEdit(proxyGroup), "proxyUserEdit", 70, 116, 160, 21);
  proxyUserCaption = label(proxyGroup, "proxyUserCaption", QStringLiteral("Имя:"), proxyUserEdit, 10, 118, 58);
  proxyPasswordEdit = place(new QLineEdit(proxyGroup), "proxyPasswordEdit", 70, 148, 160, 21);
  proxyPasswordCaption =
      label(proxyGroup, "proxyPasswordCaption", QStringLiteral("Пароль:"), proxyPasswordEdit, 10, 150, 58);
  proxyPasswordEdit->setEchoMode(QLineEdit::Password);
  proxyPasswordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
  useProxyToggled();  // the proxy labels and fields start disabled with their box

  phoneGroup = group(this, "phoneGroup", QStringLiteral("Соединение с телефоном"), 8, 200, 488, 87);
  QStringList ports;
  for (int i = 1; i <= 16; ++i) ports << QStringLiteral("COM%1").arg(i);
  comPortBox = editableList(phoneGroup, "comPortBox", ports, 90, 22);
  comPortCaption = label(phoneGroup, "comPortCaption", QStringLiteral("Com порт:"), comPortBox, 10, 24, 78);
  comSpeedBox = editableList(phoneGroup, "comSpeedBox",
                             {QStringLiteral("115200"), QStringLiteral("230400"), QStringLiteral("460800")}, 90, 54);
  comSpeedCaption = label(phoneGroup, "comSpeedCaption", QStringLiteral("Скорость:"), comSpeedBox, 10, 56, 78);
  saveButton = captioned<QPushButton>(phoneGroup, "saveButton", QStringLiteral("Сохранить"), 262, 36, 105, 27);
  cancelButton = captioned<QPushButton>(phoneGroup, "cancelButton", QStringLiteral("Отмена"), 375, 36, 105, 27);
  saveButton->setDefault(true);
}

void SettingsDialog::connectHandlers() {
  auto onClick = [this](QAbstractButton* b, void (SettingsDialog::*handler)()) {
    connect(b, &QAbstractButton::clicked, this,
            [this, handler] { prompter_.guarded([this, handler] { (this->*handler)(); }); });
  };
  onClick(saveButton, &SettingsDialog::save);
  onClick(cancelButton, &SettingsDialog::cancel);
  onClick(catalogueOnlyButton, &SettingsDialog::chooseCatalogueOnly);
  onClick(withScreenshotsButton, &SettingsDialog::chooseWithScreenshots);
  onClick(wholeBaseButton, &SettingsDialog::chooseWholeBase);
  // The boxes follow every change of state, whether the user or the settings read made it.
  connect(folderPicturesBox, &QCheckBox::toggled, this, [this] { folderPicturesToggled(); });
  connect(useProxyBox, &QCheckBox::toggled, this, [this] { useProxyToggled(); });
}

int SettingsDialog::exec() {
  prompter_.guarded([this] { readSettingsFile(); });
  return QDialog::exec();
}

void SettingsDialog::readSettingsFile() { file_.load(); }

void SettingsDialog::fill(const quorrel::SettingsFileRead& read) {
  if (read.updateServer) updateServerEdit->setText(fromAnsi(*read.updateServer));
  if (read.updateMode) {
    switch (static_cast<quorrel::UpdateMode>(*read.updateMode)) {
      case quorrel::UpdateMode::CatalogueOnly:
        catalogueOnlyButton->setChecked(true);
        chooseCatalogueOnly();
        break;
      case quorrel::UpdateMode::WithScreenshots:
        withScreenshotsButton->setChecked(true);
        chooseWithScreenshots();
        break;
      case quorrel::UpdateMode::WholeBase:
        wholeBaseButton->setChecked(true);
        chooseWholeBase();
        break;
      default:
        break;  // never chosen: the radio buttons stay as they are
    }
  }
  if (read.updateFolderPictures) {
    // The box always shows the value in force, also after a change abandoned with "Отмена".
    folderPicturesBox->setChecked(*read.updateFolderPictures);
    settings_.setUpdateFolderPictures(*read.updateFolderPictures);
  }
  if (read.useProxy) {
    if (*read.useProxy) useProxyBox->setChecked(true);
    // The details are shown also while the proxy is off (the fields stay disabled).
    proxyHostEdit->setText(fromAnsi(read.proxyHost));
    proxyPortEdit->setText(fromAnsi(read.proxyPort));
    proxyUserEdit->setText(fromAnsi(read.proxyUserName));
    proxyPasswordEdit->setText(fromAnsi(read.proxyPassword));
  }
  if (read.comPort) comPortBox->setEditText(fromAnsi(*read.comPort));
  if (read.comSpeed) comSpeedBox->setEditText(fromAnsi(*read.comSpeed));
}

quorrel::SettingsFormValues SettingsDialog::values() const {
  quorrel::SettingsFormValues v;
  v.updateServer = toAnsi(updateServerEdit->text());
  v.updateFolderPictures = folderPicturesBox->isChecked();
  v.useProxy = useProxyBox->isChecked();
  v.proxyHost = toAnsi(proxyHostEdit->text());
  v.proxyPort = toAnsi(proxyPortEdit->text());
  v.proxyUserName = toAnsi(proxyUserEdit->text());
  v.proxyPassword = toAnsi(proxyPasswordEdit->text());
  v.comPort = toAnsi(comPortBox->currentText());
  v.comSpeed = toAnsi(comSpeedBox->currentText());
  return v;
}

void SettingsDialog::save() {
  file_.save();
  if (isVisible()) accept();
}

void SettingsDialog::cancel() { reject(); }

void SettingsDialog::selectUpdateMode(QRadioButton* chosen, quorrel::UpdateMode mode) {
  for (QRadioButton* b : {catalogueOnlyButton, withScreenshotsButton, wholeBaseButton}) {
    if (b != chosen) b->setChecked(false);
  }
  settings_.setUpdateMode(mode);
}

void SettingsDialog::chooseCatalogueOnly() { selectUpdateMode(catalogueOnlyButton, quorrel::UpdateMode::CatalogueOnly); }
void SettingsDialog::chooseWithScreenshots() { selectUpdateMode(withScreenshotsButton, quorrel::UpdateMode::WithScreenshots); }
void SettingsDialog::chooseWholeBase() { selectUpdateMode(wholeBaseButton, quorrel::UpdateMode::WholeBase); }

void SettingsDialog::folderPicturesToggled() { settings_.setUpdateFolderPictures(folderPicturesBox->isChecked()); }

void SettingsDialog::useProxyToggled() {
  const bool on = useProxyBox->isChecked();
  settings_.setUseProxy(on);
  for (QWidget* w : {static_cast<QWidget*>(proxyHostCaption), static_cast<QWidget*>(proxyHostEdit),
                     static_cast<QWidget*>(proxyPortCaption), static_cast<QWidget*>(proxyPortEdit),
                     static_cast<QWidget*>(proxyUserCaption), static_cast<QWidget*>(proxyUserEdit),
                     static_cast<QWidget*>(proxyPasswordCaption), static_cast<QWidget*>(proxyPasswordEdit)}) {
    w->setEnabled(on);
  }
}
