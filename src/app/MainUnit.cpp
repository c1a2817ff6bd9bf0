#include "app/MainUnit.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMovie>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTime>
#include <QToolButton>
#include <QTreeWidget>

#include "app/CommUnit.h"
#include "app/Icons.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "net/HTTPGet.h"
#include "net/Zip.h"
#include "phone/MidletSort.h"
#include "phone/SGHFS.h"

using quorrel::Glyph;

namespace {

constexpr int ClientWidth = 791;
constexpr int ClientHeight = 594;
constexpr int StatusBarHeight = 19;

const QColor LightGrey(0xE8, 0xE8, 0xE8);

QFont uiFont() {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSize(8);
  return f;
}

QFont detailsFont(bool bold) {
  QFont f(QStringLiteral("Verdana"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSize(8);
  f.setBold(bold);
  return f;
}

template <typename W>
W* place(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QLatin1String(name));
  w->setGeometry(left, top, width, height);
  return w;
}

QLabel* caption(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height) {
  auto* l = place(new QLabel(text, parent), name, left, top, width, height);
  l->setFont(detailsFont(true));
  l->setAccessibleName(text);
  return l;
}

QLabel* value(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* l = place(new QLabel(parent), name, left, top, width, height);
  l->setFont(detailsFont(false));
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  l->setWordWrap(true);
  return l;
}

QToolButton* toolButton(QWidget* parent, const char* name, int left, int top, const QString& hint, Glyph glyph) {
  auto* b = place(new QToolButton(parent), name, left, top, 40, 40);
  b->setAutoRaise(true);
  b->setIcon(quorrel::glyphIcon(glyph));
  b->setIconSize(QSize(32, 32));
  if (!hint.isEmpty()) {
    b->setToolTip(hint);
    b->setAccessibleName(hint);
  }
  return b;
}

QAction* menuItem(QMenu* menu, const char* name, const QString& text, const QKeySequence& shortcut = {}) {
  auto* a = menu->addAction(text);
  a->setObjectName(QLatin1String(name));
  if (!shortcut.isEmpty()) a->setShortcut(shortcut);
  return a;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 1, 0, 0);
  row->setSpacing(2);
  const int widths[5] = {150, 80, 80, 130, 50};
  for (int i = 0; i < 5; ++i) {
    auto* l = new QLabel(this);
    l->setObjectName(QStringLiteral("Panel%1").arg(i));
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setFont(uiFont());
    if (i < 4) {
      l->setFixedWidth(widths[i]);
      row->addWidget(l);
    } else {
      l->setMinimumWidth(widths[i]);
      row->addWidget(l, 1);
    }
    panels_[static_cast<size_t>(i)] = l;
  }
}

QString TStatusBar::panelText(int index) const { return panels_[static_cast<size_t>(index)]->text(); }

void TStatusBar::setPanelText(int index, const QString& text) {
  QLabel* l = panels_[static_cast<size_t>(index)];
  l->setText(text);
  l->setToolTip(text);
  l->setAccessibleName(text);
}

// ---------------------------------------------------------------------------------------------------------
TMainForm::TMainForm(quorrel::Prompter* prompter, QWidget* parent) : QMainWindow(parent), prompter_(prompter) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Quorrel v1.2 Final"));
  setFont(uiFont());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  HTTPGetFile = new THTTPGet(this);
  HTTPGetFile->setObjectName(QStringLiteral("HTTPGetFile"));
  Zip1 = new TZip(this, prompter_);
  Zip1->setObjectName(QStringLiteral("Zip1"));
  Zip1->ShowProgressDialog = false;

  buildMenus();
  buildLayout();
  connectHandlers();
  ConfigureHTTPGetFile();

  // A fixed client area of 791 x 594 below the menu bar, centred on the desktop.
  const int height = ClientHeight + menuBar()->sizeHint().height();
  setFixedSize(ClientWidth, height);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->availableGeometry();
    move(desk.center() - QPoint(ClientWidth / 2, height / 2));
  }

  guarded([this] { Button2Click(); });
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::buildMenus() {
  QMenuBar* bar = menuBar();
  bar->setFont(uiFont());

  N1 = bar->addMenu(QStringLiteral("Файл"));
  N1->setObjectName(QStringLiteral("N1"));
  N4 = menuItem(N1, "N4", QStringLiteral("Соединиться с телефоном"), QKeySequence(QStringLiteral("Ctrl+P")));
  N10 = menuItem(N1, "N10", QStringLiteral("Отключиться от телефона"), QKeySequence(QStringLiteral("Ctrl+D")));
  N10->setEnabled(false);
  N1->addSeparator();
  N13 = menuItem(N1, "N13", QStringLiteral("Обновить базу"), QKeySequence(QStringLiteral("Ctrl+O")));
  Java2 = menuItem(N1, "Java2", QStringLiteral("Перекомпилировать Java"), QKeySequence(QStringLiteral("Ctrl+J")));
  N1->addSeparator();
  N5 = menuItem(N1, "N5", QStringLiteral("Выход"), QKeySequence(QStringLiteral("Alt+F4")));

  N6 = bar->addMenu(QStringLiteral("Настройки"));
  N6->setObjectName(QStringLiteral("N6"));
  N8 = menuItem(N6, "N8", QStringLiteral("Настройки"), QKeySequence(QStringLiteral("Ctrl+N")));
  N6->addSeparator();
  Java1 = menuItem(N6, "Java1", QStringLiteral("Автоматическая компиляция Java"));
  Java1->setCheckable(true);
  Java1->setChecked(true);
  N6->addSeparator();
  N16 = menuItem(N6, "N16", QStringLiteral("Сортировка по алфавиту"));
  N16->setCheckable(true);
  N16->setChecked(true);
  N17 = menuItem(N6, "N17", QStringLiteral("Ручная сортировка"));
  N17->setCheckable(true);

  N2 = bar->addMenu(QStringLiteral("Помощь"));
  N2->setObjectName(QStringLiteral("N2"));
  N3 = menuItem(N2, "N3", QStringLiteral("О программе..."), QKeySequence(QStringLiteral("Ctrl+A")));
  N2->addSeparator();
  N14 = menuItem(N2, "N14", QStringLiteral("История версий"), QKeySequence(QStringLiteral("Ctrl+H")));

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  N18 = menuItem(PopupMenu1, "N18", QStringLiteral("Показать выбранные игры"));
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
  N19 = menuItem(PopupMenu2, "N19", QStringLiteral("Очистить"));
}

void TMainForm::buildLayout() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(ClientWidth, ClientHeight);
  setCentralWidget(client);

  // Tool bar.
  Panel1 = place(new QWidget(client), "Panel1", 0, 0, ClientWidth, 50);
  SpeedButton6 = toolButton(Panel1, "SpeedButton6", 5, 5, QStringLiteral("Соединиться с телефоном"), Glyph::Connect);
  SpeedButton4 = toolButton(Panel1, "SpeedButton4", 50, 5, QStringLiteral("Настройки соединения"), Glyph::Settings);
  SpeedButton8 = toolButton(Panel1, "SpeedButton8", 95, 5, QStringLiteral("Обновить базу"), Glyph::Update);
  SpeedButton5 = toolButton(Panel1, "SpeedButton5", 140, 5, QStringLiteral("Перекомпилировать java"), Glyph::Compile);
  SpeedButton10 = toolButton(Panel1, "SpeedButton10", 185, 5, QStringLiteral("Закачать выбранные игры в телефон"),
                             Glyph::UploadMarked);
  SpeedButton7 = toolButton(Panel1, "SpeedButton7", 745, 5, QString(), Glyph::Exit);
  SpeedButton7->setAccessibleName(QStringLiteral("Выход"));

  // Main panel.
  const int mainHeight = ClientHeight - 50 - StatusBarHeight;
  Panel2 = place(new QWidget(client), "Panel2", 0, 50, ClientWidth, mainHeight);

  Image1 = place(new QLabel(Panel2), "Image1", 0, 0, 32, 32);
  Image1->setPixmap(quorrel::glyphIcon(Glyph::Connect).pixmap(32, 32));
  Image1->hide();
  Image2 = place(new QLabel(Panel2), "Image2", 0, 0, 32, 32);
  Image2->setPixmap(quorrel::glyphIcon(Glyph::Disconnect).pixmap(32, 32));
  Image2->hide();

  TreeView1 = place(new QTreeWidget(Panel2), "TreeView1", 8, 8, 273, 489);
  TreeView1->setHeaderHidden(true);
  TreeView1->setFont(detailsFont(true));
  TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
  TreeView1->setAccessibleName(QStringLiteral("Каталог игр"));
  {
    QPalette pal = TreeView1->palette();
    pal.setColor(QPalette::Base, LightGrey);
    TreeView1->setPalette(pal);
  }

  Panel3 = place(new QFrame(Panel2), "Panel3", 288, 8, 138, 137);
  static_cast<QFrame*>(Panel3)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  GIFImage1 = place(new QLabel(Panel3), "GIFImage1", 5, 5, 128, 128);
  GIFImage1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  Label1 = caption(Panel2, "Label1", QStringLiteral("Название:"), 432, 8, 353, 16);
  Label2 = value(Panel2, "Label2", 432, 24, 353, 17);
  Label3 = caption(Panel2, "Label3", QStringLiteral("Размер:"), 432, 45, 113, 16);
  Label4 = value(Panel2, "Label4", 432, 61, 113, 25);
  Label4->setText(QStringLiteral("0 байт"));
  Label7 = caption(Panel2, "Label7", QStringLiteral("Прислал:"), 552, 45, 113, 16);
  Label8 = value(Panel2, "Label8", 552, 61, 113, 25);
  Label6 = value(Panel2, "Label6", 432, 91, 353, 24);
  Label6->setWordWrap(false);
  ProgressBar1 = place(new QProgressBar(Panel2), "ProgressBar1", 432, 120, 209, 17);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  Panel5 = place(new QWidget(Panel2), "Panel5", 645, 120, 140, 50);
  SpeedButton1 = toolButton(Panel5, "SpeedButton1", 5, 5, QString(), Glyph::UploadGame);
  SpeedButton1->setAccessibleName(QStringLiteral("Закачать игру в телефон"));  // hint without a tooltip
  SpeedButton3 = toolButton(Panel5, "SpeedButton3", 50, 5, QStringLiteral("Скачать скриншот"), Glyph::Screenshot);
  SpeedButton2 = toolButton(Panel5, "SpeedButton2", 95, 5, QStringLiteral("Скачать игру"), Glyph::DownloadGame);
  SpeedButton1->hide();
  SpeedButton3->hide();
  SpeedButton2->hide();

  Label9 = caption(Panel2, "Label9", QStringLiteral("WAP ссылка:"), 288, 178, 105, 17);
  CheckBox1 = place(new QCheckBox(QStringLiteral("Выбрать игру"), Panel2), "CheckBox1", 400, 180, 113, 17);
  CheckBox1->setFont(detailsFont(true));
  CheckBox1->setAccessibleName(QStringLiteral("Выбрать игру"));
  Memo2 = place(new QLineEdit(Panel2), "Memo2", 288, 200, 497, 25);
  Memo2->setReadOnly(true);
  Memo2->setFont(detailsFont(false));
  Memo2->setAccessibleName(QStringLiteral("WAP ссылка"));
  Label5 = caption(Panel2, "Label5", QStringLiteral("Описание:"), 288, 226, 105, 17);

  Panel4 = place(new QWidget(Panel2), "Panel4", 288, 248, 498, 249);
  Memo1 = place(new QPlainTextEdit(Panel4), "Memo1", 0, 0, 498, 249);
  Memo1->setReadOnly(true);
  Memo1->setFont(detailsFont(false));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setAccessibleName(QStringLiteral("Описание"));
  PhoneList = place(new QListWidget(Panel4), "PhoneList", 0, 0, 498, 249);
  PhoneList->hide();

  ComboBox = place(new QComboBox(Panel2), "ComboBox", 8, 500, 780, 22);
  ComboBox->setEditable(true);
  ComboBox->setInsertPolicy(QComboBox::NoInsert);
  // No completer: it would search the whole log again for every new line, and an update logs thousands.
  ComboBox->setCompleter(nullptr);
  ComboBox->setMaxVisibleItems(8);
  ComboBox->setFont(uiFont());
  ComboBox->setContextMenuPolicy(Qt::CustomContextMenu);
  ComboBox->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
  ComboBox->setAccessibleName(QStringLiteral("Журнал"));
  {
    QPalette pal = ComboBox->palette();
    pal.setColor(QPalette::Base, LightGrey);
    ComboBox->setPalette(pal);
  }

  StatusBar1 = place(new TStatusBar(client), "StatusBar1", 0, ClientHeight - StatusBarHeight, ClientWidth,
                     StatusBarHeight);
  StatusBar1->setPanelText(0, QStringLiteral("Соединение не установлено"));
}

void TMainForm::connectHandlers() {
  auto on = [this](QAction* a, void (TMainForm::*handler)()) {
    connect(a, &QAction::triggered, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };
  auto onButton = [this](QToolButton* b, void (TMainForm::*handler)()) {
    connect(b, &QToolButton::clicked, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };
  on(N4, &TMainForm::N4Click);
  on(N10, &TMainForm::N10Click);
  on(N13, &TMainForm::SpeedButton8Click);
  on(Java2, &TMainForm::Java2Click);
  on(N5, &TMainForm::N5Click);
  on(N8, &TMainForm::N8Click);
  // These handlers set the check marks themselves: undo the toolkit's own toggle before they run.
  auto onMark = [this](QAction* a, void (TMainForm::*handler)()) {
    connect(a, &QAction::triggered, this, [this, a, handler] {
      a->setChecked(!a->isChecked());
      guarded([this, handler] { (this->*handler)(); });
    });
  };
  onMark(Java1, &TMainForm::Java1Click);
  onMark(N16, &TMainForm::N16Click);
  onMark(N17, &TMainForm::N17Click);
  on(N3, &TMainForm::N3Click);
  on(N14, &TMainForm::N14Click);
  on(N18, &TMainForm::N18Click);
  on(N19, &TMainForm::N19Click);
  onButton(SpeedButton6, &TMainForm::SpeedButton6Click);
  onButton(SpeedButton4, &TMainForm::N8Click);
  onButton(SpeedButton8, &TMainForm::SpeedButton8Click);
  onButton(SpeedButton5, &TMainForm::SpeedButton5Click);
  onButton(SpeedButton10, &TMainForm::SpeedButton10Click);
  onButton(SpeedButton7, &TMainForm::SpeedButton7Click);
  onButton(SpeedButton1, &TMainForm::SpeedButton1Click);
  onButton(SpeedButton3, &TMainForm::SpeedButton3Click);
  onButton(SpeedButton2, &TMainForm::SpeedButton2Click);
  connect(CheckBox1, &QCheckBox::clicked, this, [this] { guarded([this] { CheckBox1Click(); }); });
  connect(TreeView1, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { guarded([this, current] { TreeView1Change(current); }); });
  connect(TreeView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(TreeView1->viewport()->mapToGlobal(at)); });
  auto logMenu = [this](QWidget* w) {
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) { PopupMenu2->popup(w->mapToGlobal(at)); });
  };
  logMenu(ComboBox);
  logMenu(ComboBox->lineEdit());
}

void TMainForm::guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    prompter_->error(e);
  }
}

// ---- Message log ----------------------------------------------------------------------------------------
QString TMainForm::TimeText() {
  // The system's long time format, without a time-zone part.
  QString format = QLocale::system().timeFormat(QLocale::LongFormat);
  format.remove(QLatin1Char('t'));
  return QLocale::system().toString(QTime::currentTime(), format.trimmed());
}

void TMainForm::AddLogLine(const QString& line) {
  InsertLogLine(line);
  ComboBox->setEditText(line);
}

void TMainForm::InsertLogLine(const QString& line) {
  // Keep the edit text: inserting at the top may otherwise change the current item.
  const QString edit = ComboBox->currentText();
  ComboBox->insertItem(0, line);
  ComboBox->setEditText(edit);
}

void TMainForm::LogCommand(const QString& text) { AddLogLine(TimeText() + text); }

// ---- Shell ----------------------------------------------------------------------------------------------
void TMainForm::Button2Click() {
  const std::string base = quorrel::currentDir() + "Base/";
  if (!quorrel::directoryExists(base) && !quorrel::createDirectory(base)) {
    throw quorrel::QuorrelError("Не могу создать папку" + base);
  }
  const std::string games = base + "games/";
  if (!quorrel::directoryExists(games) && !quorrel::createDirectory(games)) {
    throw quorrel::QuorrelError("Не могу создать папку" + games);
  }
  RecoverInterruptedUpdate();
  SGHFS::LoadPlugin("sghfs.wfx");
  Busy = false;
  ReadSettingsAtStartup();
  LoadCatalogue();
}

void TMainForm::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  SGHFS::UnloadPlugin();
}

void TMainForm::N5Click() { close(); }

void TMainForm::SpeedButton7Click() { close(); }

void TMainForm::closeEvent(QCloseEvent* event) {
  FormDestroy();
  event->accept();
}

void TMainForm::N8Click() {
  if (Busy) return;
  CommPortForm->exec();
}

void TMainForm::N19Click() {
  ComboBox->clear();
  ComboBox->setEditText(QString());
}

// ---------------------------------------------------------------------------------------------------------
std::unique_ptr<TMainForm> createApplicationWindows(quorrel::Prompter* prompter) {
  auto main = std::make_unique<TMainForm>(prompter);
  main->CommPortForm = new TCommPortForm(main.get());
  main->SortForm = new TSortForm(main.get());
  return main;
}
