#include "settings/SettingsDialog.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/MessageLog.h"
#include "common/Paths.h"
#include "common/Place.h"
#include "common/Prompter.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"

using quorrel::flagOn;
using quorrel::fromAnsi;
using quorrel::SettingsReader;
using quorrel::toAnsi;

namespace {

std::string settingsPath() { return quorrel::localPath(quorrel::SettingsFileName); }

// The old settings file kept beside the new one when a rewrite drops what it held.
std::string backupFileName() { return std::string(quorrel::SettingsFileName) + ".bak"; }

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
    : QDialog(parent), settings_(settings), prompter_(prompter), log_(log) {
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

void SettingsDialog::readSettingsFile() {
  unread_ = {};
  backupDue_ = false;
  struct Snapshot {
    SettingsDialog& f;
    ~Snapshot() { f.afterRead_ = quorrel::settingsLineTexts(f.currentLines()); }
  } snapshot{*this};

  const std::string bytes = quorrel::readFileBytes(settingsPath());
  const quorrel::SettingsLayout layout = quorrel::locateSettingsLines(bytes);
  // Every value line counts as unread until the read below has taken it in.
  unread_ = layout.values;
  // The sort mode is read at start-up only; when that read stopped before it, the line stays as it stands.
  if (settings_.sortModeRead()) unread_[19].reset();
  backupDue_ = quorrel::rewriteDropsFileContent(layout);
  auto taken = [this](std::initializer_list<int> numbers) {
    for (int n : numbers) unread_[static_cast<std::size_t>(n)].reset();
  };

  SettingsReader in(quorrel::splitSettingsLines(bytes));
  if (in.findSection(quorrel::UpdateServerHeader)) {
    updateServerEdit->setText(fromAnsi(in.readLine()));
    taken({2});
    switch (static_cast<std::uint8_t>(in.readNumber())) {
      case 1:
        catalogueOnlyButton->setChecked(true);
        chooseCatalogueOnly();
        break;
      case 2:
        withScreenshotsButton->setChecked(true);
        chooseWithScreenshots();
        break;
      case 3:
        wholeBaseButton->setChecked(true);
        chooseWholeBase();
        break;
      default:
        break;  // never chosen: the radio buttons stay as they are
    }
    taken({3});
    // The box always shows the value in force, also after a change abandoned with "Отмена".
    const bool pictures = static_cast<std::uint8_t>(in.readNumber()) != 0;
    folderPicturesBox->setChecked(pictures);
    settings_.setUpdateFolderPictures(pictures);
    taken({4});
  }
  if (in.findSection(quorrel::ProxySettingsHeader)) {
    // A header line ends the section, as in the start-up read: a file written with the proxy off may hold
    // only the flag, and the next section's lines are no proxy details. An empty section leaves all as it is.
    if (const std::optional<std::string> useProxy = in.readSectionLine()) {
      if (flagOn(*useProxy)) useProxyBox->setChecked(true);
      // The details are shown also while the proxy is off (the fields stay disabled), so that the next save,
      // from here or from a menu toggle, writes them back instead of erasing them.
      for (QLineEdit* field : {proxyHostEdit, proxyPortEdit, proxyUserEdit, proxyPasswordEdit}) {
        field->setText(fromAnsi(in.readSectionLine().value_or(std::string())));
      }
      in.readSectionLine();
    }
    taken({7, 8, 9, 10, 11});
  }
  if (in.findSection(quorrel::ConnectionHeader)) {
    comPortBox->setEditText(fromAnsi(in.readLine()));
    comSpeedBox->setEditText(fromAnsi(in.readLine()));
    settings_.setAutoCompileJava(flagOn(in.readLine()));
    taken({14, 15, 16});
  }
}

quorrel::SettingsLines SettingsDialog::currentLines() const {
  quorrel::SettingsLines s;
  s.updateServer = toAnsi(updateServerEdit->text());
  s.updateMode = static_cast<std::uint8_t>(settings_.updateMode());
  s.updateFolderPictures = folderPicturesBox->isChecked();
  s.useProxy = useProxyBox->isChecked();
  s.proxyHost = toAnsi(proxyHostEdit->text());
  s.proxyPort = toAnsi(proxyPortEdit->text());
  s.proxyUserName = toAnsi(proxyUserEdit->text());
  s.proxyPassword = toAnsi(proxyPasswordEdit->text());
  s.comPort = toAnsi(comPortBox->currentText());
  s.comSpeed = toAnsi(comSpeedBox->currentText());
  s.autoCompileJava = settings_.autoCompileJava();
  s.manualSort = !settings_.alphabeticalSort();
  return s;
}

void SettingsDialog::save() {
  const quorrel::SettingsLines s = currentLines();
  // A line the last read did not take in, and whose value nobody has changed since, is written back as it
  // stood: the half-filled controls must not replace settings the user never saw.
  const quorrel::SettingsFileLines now = quorrel::settingsLineTexts(s);
  quorrel::SettingsFileLines kept;
  for (std::size_t n = 1; n < kept.size(); ++n) {
    if (unread_[n] && now[n] != afterRead_[n]) unread_[n].reset();  // the user's value from now on
    kept[n] = unread_[n];
  }
  // Some lines cannot be written back as they stood. A header stands where a value belongs (its section was
  // short): written there, it would be found as its section's header by the next read. A lone CR inside a
  // line is written as a blank, so the line would read differently. Such a file, like one whose lines stand
  // in no section, is not patched: a complete file is written from the values in force, the old one kept.
  const bool rewriteWhole =
      backupDue_ || std::any_of(kept.begin(), kept.end(), [](const auto& line) {
        return line && (quorrel::isSettingsHeader(*line) || line->find('\r') != std::string::npos);
      });
  if (rewriteWhole) kept = {};
  const bool useProxy = s.useProxy;
  const bool proxyKept = kept[7] || kept[8] || kept[9] || kept[10] || kept[11];
  // Every number is checked before the file is touched, so a refused save leaves the file and the values in
  // force as they were. Lines written back as they stood are not the controls' values.
  const auto proxyPort = useProxy && !proxyKept ? static_cast<std::uint32_t>(quorrel::toInteger(s.proxyPort)) : 0u;
  const int comSpeed = kept[15] ? settings_.comSpeed() : quorrel::toInteger(s.comSpeed);
  const bool backedUp = rewriteWhole && backUpSettingsFile();
  quorrel::writeSettingsFile(settingsPath(), quorrel::formatSettings(s, kept));
  if (rewriteWhole) {
    // The file now holds the values in force and nothing else: a later save keeps no line of the old one and
    // must not replace the backup.
    unread_ = {};
    backupDue_ = false;
  }
  if (backedUp) {
    log_.logCommand(QStringLiteral(" Файл %1 записан заново; прежний файл сохранён как %2")
                        .arg(QString::fromLatin1(quorrel::SettingsFileName), QString::fromStdString(backupFileName())));
  }

  if (!kept[2]) settings_.setUpdateServer(s.updateServer);
  if (!proxyKept) {
    // When the proxy lines were not all read, transfers keep the proxy details they have.
    quorrel::ProxyDetails proxy;
    if (useProxy) proxy = {s.proxyHost, proxyPort, s.proxyUserName, s.proxyPassword};
    settings_.setProxy(proxy);
  }
  if (!kept[14]) settings_.setComPort(s.comPort);
  settings_.setComSpeed(comSpeed);
  if (isVisible()) accept();
}

bool SettingsDialog::backUpSettingsFile() const {
  const std::string path = settingsPath();
  if (!quorrel::fileExists(path)) return false;
  try {
    quorrel::writeSettingsFile(quorrel::localPath(backupFileName()), quorrel::readFileBytes(path));
  } catch (const quorrel::QuorrelError& e) {
    throw quorrel::QuorrelError("Настройки не сохранены: прежний файл " + std::string(quorrel::SettingsFileName) +
                                " не удалось сохранить как " + backupFileName() + ": " + e.what());
  }
  return true;
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
