#include "app/CommUnit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/MainUnit.h"
#include "app/SettingsFile.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/Paths.h"
#include "net/HTTPGet.h"

using quorrel::flagOn;
using quorrel::fromAnsi;
using quorrel::SettingsReader;
using quorrel::toAnsi;

namespace {

std::string settingsPath() { return quorrel::localPath(quorrel::SettingsFileName); }

template <typename W>
W* place(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QLatin1String(name));
  w->setGeometry(left, top, width, height);
  return w;
}

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
TCommPortForm::TCommPortForm(TMainForm* mainForm) : QDialog(mainForm), main_(mainForm) {
  setObjectName(QStringLiteral("CommPortForm"));
  setWindowTitle(QStringLiteral("Настройка соединения"));
  // Fixed single border, no system menu and no close box; Escape still cancels.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFont(mainForm->font());
  setFixedSize(504, 295);
  buildLayout();
  connectHandlers();
  main_->guarded([this] { FormShow(); });
}

void TCommPortForm::buildLayout() {
  GroupBox2 = group(this, "GroupBox2", QStringLiteral("Настройка internet обновления"), 8, 8, 240, 185);
  Edit1 = place(new QLineEdit(GroupBox2), "Edit1", 10, 40, 220, 21);
  Label3 = label(GroupBox2, "Label3", QStringLiteral("Адрес сервера обновлений:"), Edit1, 10, 22, 220);
  RadioButton1 =
      captioned<QRadioButton>(GroupBox2, "RadioButton1", QStringLiteral("Обновлять только xml базу"), 10, 72, 220, 17);
  RadioButton2 = captioned<QRadioButton>(GroupBox2, "RadioButton2", QStringLiteral("Обновлять xml базу и скриншоты"),
                                         10, 95, 220, 17);
  RadioButton3 = captioned<QRadioButton>(GroupBox2, "RadioButton3", QStringLiteral("Обновлять всю базу целиком"), 10,
                                         118, 220, 17);
  CheckBox1 =
      captioned<QCheckBox>(GroupBox2, "CheckBox1", QStringLiteral("Обновлять картинки директорий"), 10, 150, 220, 17);

  GroupBox3 = group(this, "GroupBox3", QStringLiteral("Прокси сервер"), 256, 8, 240, 185);
  CheckBox2 =
      captioned<QCheckBox>(GroupBox3, "CheckBox2", QStringLiteral("Использовать прокси сервер"), 10, 22, 220, 17);
  Edit2 = place(new QLineEdit(GroupBox3), "Edit2", 70, 52, 160, 21);
  Label4 = label(GroupBox3, "Label4", QStringLiteral("Хост:"), Edit2, 10, 54, 58);
  Edit3 = place(new QLineEdit(GroupBox3), "Edit3", 70, 84, 160, 21);
  Label5 = label(GroupBox3, "Label5", QStringLiteral("Порт:"), Edit3, 10, 86, 58);
  Edit4 = place(new QLineEdit(GroupBox3), "Edit4", 70, 116, 160, 21);
  Label6 = label(GroupBox3, "Label6", QStringLiteral("Имя:"), Edit4, 10, 118, 58);
  Edit5 = place(new QLineEdit(GroupBox3), "Edit5", 70, 148, 160, 21);
  Label7 = label(GroupBox3, "Label7", QStringLiteral("Пароль:"), Edit5, 10, 150, 58);
  Edit5->setEchoMode(QLineEdit::Password);
  Edit5->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
  CheckBox2Click();  // the proxy labels and fields start disabled with their box

  GroupBox1 = group(this, "GroupBox1", QStringLiteral("Соединение с телефоном"), 8, 200, 488, 87);
  QStringList ports;
  for (int i = 1; i <= 16; ++i) ports << QStringLiteral("COM%1").arg(i);
  ComboBox1 = editableList(GroupBox1, "ComboBox1", ports, 90, 22);
  Label1 = label(GroupBox1, "Label1", QStringLiteral("Com порт:"), ComboBox1, 10, 24, 78);
  ComboBox2 = editableList(GroupBox1, "ComboBox2",
                           {QStringLiteral("115200"), QStringLiteral("230400"), QStringLiteral("460800")}, 90, 54);
  Label2 = label(GroupBox1, "Label2", QStringLiteral("Скорость:"), ComboBox2, 10, 56, 78);
  Button1 = captioned<QPushButton>(GroupBox1, "Button1", QStringLiteral("Сохранить"), 262, 36, 105, 27);
  Button2 = captioned<QPushButton>(GroupBox1, "Button2", QStringLiteral("Отмена"), 375, 36, 105, 27);
  Button1->setDefault(true);
}

void TCommPortForm::connectHandlers() {
  auto onClick = [this](QAbstractButton* b, void (TCommPortForm::*handler)()) {
    connect(b, &QAbstractButton::clicked, this,
            [this, handler] { main_->guarded([this, handler] { (this->*handler)(); }); });
  };
  onClick(Button1, &TCommPortForm::Button1Click);
  onClick(Button2, &TCommPortForm::Button2Click);
  onClick(RadioButton1, &TCommPortForm::RadioButton1Click);
  onClick(RadioButton2, &TCommPortForm::RadioButton2Click);
  onClick(RadioButton3, &TCommPortForm::RadioButton3Click);
  // The boxes follow every change of state, whether the user or the settings read made it.
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
  connect(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
}

int TCommPortForm::exec() {
  main_->guarded([this] { FormShow(); });
  return QDialog::exec();
}

void TCommPortForm::FormShow() {
  unread_ = {};
  refusal_.clear();
  struct Snapshot {
    TCommPortForm& f;
    ~Snapshot() { f.afterRead_ = quorrel::settingsLineTexts(f.currentLines()); }
  } snapshot{*this};

  const std::string bytes = quorrel::readFileBytes(settingsPath());
  const quorrel::SettingsLayout layout = quorrel::locateSettingsLines(bytes);
  // Every value line counts as unread until the read below has taken it in.
  unread_ = layout.values;
  // The sort mode is read at start-up only; when that read stopped before it, the line stays as it stands.
  if (main_->SortModeRead) unread_[19].reset();
  if (!layout.missingHeader.empty() && layout.strayLines) {
    refusal_ = "Настройки не сохранены: в файле " + std::string(quorrel::SettingsFileName) + " нет строки \"" +
               layout.missingHeader + "\", и его строки не на своих местах";
  }
  auto taken = [this](std::initializer_list<int> numbers) {
    for (int n : numbers) unread_[static_cast<std::size_t>(n)].reset();
  };

  SettingsReader in(quorrel::splitLines(bytes, quorrel::LineBreaks::Lf));
  if (in.findSection(quorrel::UpdateServerHeader)) {
    Edit1->setText(fromAnsi(in.readLine()));
    taken({2});
    switch (static_cast<std::uint8_t>(in.readNumber())) {
      case 1:
        RadioButton1->setChecked(true);
        RadioButton1Click();
        break;
      case 2:
        RadioButton2->setChecked(true);
        RadioButton2Click();
        break;
      case 3:
        RadioButton3->setChecked(true);
        RadioButton3Click();
        break;
      default:
        break;  // never chosen: the radio buttons stay as they are
    }
    taken({3});
    // The box always shows the value in force, also after a change abandoned with "Отмена".
    const bool pictures = static_cast<std::uint8_t>(in.readNumber()) != 0;
    CheckBox1->setChecked(pictures);
    main_->UpdateFolderPictures = pictures;
    taken({4});
  }
  if (in.findSection(quorrel::ProxySettingsHeader)) {
    if (flagOn(in.readLine())) CheckBox2->setChecked(true);
    // The details are shown also while the proxy is off (the fields stay disabled), so that the next save,
    // from here or from a menu toggle, writes them back instead of erasing them.
    Edit2->setText(fromAnsi(in.readLine()));
    Edit3->setText(fromAnsi(in.readLine()));
    Edit4->setText(fromAnsi(in.readLine()));
    Edit5->setText(fromAnsi(in.readLine()));
    in.readLine();
    taken({7, 8, 9, 10, 11});
  }
  if (in.findSection(quorrel::ConnectionHeader)) {
    ComboBox1->setEditText(fromAnsi(in.readLine()));
    ComboBox2->setEditText(fromAnsi(in.readLine()));
    main_->Java1->setChecked(flagOn(in.readLine()));
    taken({14, 15, 16});
  }
}

quorrel::SettingsLines TCommPortForm::currentLines() const {
  quorrel::SettingsLines s;
  s.updateServer = toAnsi(Edit1->text());
  s.updateMode = main_->UpdateMode;
  s.updateFolderPictures = CheckBox1->isChecked();
  s.useProxy = CheckBox2->isChecked();
  s.proxyHost = toAnsi(Edit2->text());
  s.proxyPort = toAnsi(Edit3->text());
  s.proxyUserName = toAnsi(Edit4->text());
  s.proxyPassword = toAnsi(Edit5->text());
  s.comPort = toAnsi(ComboBox1->currentText());
  s.comSpeed = toAnsi(ComboBox2->currentText());
  s.autoCompileJava = main_->Java1->isChecked();
  s.manualSort = !main_->N16->isChecked();
  return s;
}

void TCommPortForm::Button1Click() {
  TMainForm& m = *main_;
  if (!refusal_.empty()) throw quorrel::QuorrelError(refusal_);
  const quorrel::SettingsLines s = currentLines();
  // A line the last read did not take in, and whose value nobody has changed since, is written back as it
  // stood: the half-filled controls must not replace settings the user never saw.
  const quorrel::SettingsFileLines now = quorrel::settingsLineTexts(s);
  quorrel::SettingsFileLines kept;
  for (std::size_t n = 1; n < kept.size(); ++n) {
    if (unread_[n] && now[n] != afterRead_[n]) unread_[n].reset();  // the user's value from now on
    kept[n] = unread_[n];
  }
  const bool useProxy = s.useProxy;
  const bool proxyKept = kept[7] || kept[8] || kept[9] || kept[10] || kept[11];
  // Every number is checked before the file is touched, so a refused save leaves the file and the main
  // window's values as they were. Lines written back as they stood are not the controls' values.
  const auto proxyPort = useProxy && !proxyKept ? static_cast<std::uint32_t>(quorrel::toInteger(s.proxyPort)) : 0u;
  const int comSpeed = kept[15] ? m.ComSpeed : quorrel::toInteger(s.comSpeed);
  quorrel::writeSettingsFile(settingsPath(), quorrel::formatSettings(s, kept));

  if (!kept[2]) m.UpdateServer = s.updateServer;
  THTTPGet& http = *m.HTTPGetFile;
  if (proxyKept) {
    // The proxy lines were not all read: the download component keeps what it has.
  } else if (useProxy) {
    http.ProxyHost = s.proxyHost;
    http.ProxyPort = proxyPort;
    http.UserName = s.proxyUserName;
    http.Password = s.proxyPassword;
  } else {
    http.ProxyHost.clear();
    http.ProxyPort = 0;
    http.UserName.clear();
    http.Password.clear();
  }
  if (!kept[14]) m.ComPort = s.comPort;
  m.ComSpeed = comSpeed;
  if (isVisible()) accept();
}

void TCommPortForm::Button2Click() { reject(); }

void TCommPortForm::selectUpdateMode(QRadioButton* chosen, std::uint8_t mode) {
  for (QRadioButton* b : {RadioButton1, RadioButton2, RadioButton3}) {
    if (b != chosen) b->setChecked(false);
  }
  main_->UpdateMode = mode;
}

void TCommPortForm::RadioButton1Click() { selectUpdateMode(RadioButton1, 1); }
void TCommPortForm::RadioButton2Click() { selectUpdateMode(RadioButton2, 2); }
void TCommPortForm::RadioButton3Click() { selectUpdateMode(RadioButton3, 3); }

void TCommPortForm::CheckBox1Click() { main_->UpdateFolderPictures = CheckBox1->isChecked(); }

void TCommPortForm::CheckBox2Click() {
  const bool on = CheckBox2->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(Label4), static_cast<QWidget*>(Edit2), static_cast<QWidget*>(Label5),
                     static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Label6), static_cast<QWidget*>(Edit4),
                     static_cast<QWidget*>(Label7), static_cast<QWidget*>(Edit5)}) {
    w->setEnabled(on);
  }
}

// ---- The main window's side: the start-up read and the menu toggles that save ---------------------------
void TMainForm::ReadSettingsAtStartup() {
  SettingsReader in(settingsPath());
  if (in.findSection(quorrel::UpdateServerHeader)) {
    UpdateServer = in.readLine();
    UpdateMode = static_cast<std::uint8_t>(in.readNumber());
    UpdateFolderPictures = flagOn(in.readLine());
  }
  if (in.findSection(quorrel::ProxySettingsHeader) && flagOn(in.readLine())) {
    HTTPGetFile->ProxyHost = in.readLine();
    HTTPGetFile->ProxyPort = static_cast<std::uint32_t>(in.readInteger());
    HTTPGetFile->UserName = in.readLine();
    HTTPGetFile->Password = in.readLine();
    in.readLine();
  }
  if (in.findSection(quorrel::ConnectionHeader)) {
    ComPort = in.readLine();
    ComSpeed = in.readInteger();
    Java1->setChecked(flagOn(in.readLine()));
  }
  if (in.findSection(quorrel::InterfaceHeader)) {
    const bool manual = flagOn(in.readLine());
    N16->setChecked(!manual);
    N17->setChecked(manual);
    SortModeRead = true;
  }
}

// Each toggle saves at once through the dialog's writer; when the save is refused the new mark stays.
void TMainForm::Java1Click() {
  Java1->setChecked(!Java1->isChecked());
  if (CommPortForm) CommPortForm->Button1Click();
}

void TMainForm::N16Click() {
  // Either item swaps the sort mode, even the one already checked.
  N16->setChecked(!N16->isChecked());
  N17->setChecked(!N17->isChecked());
  if (CommPortForm) CommPortForm->Button1Click();
}

void TMainForm::N17Click() { N16Click(); }
