// The main window's menus and controls: their places, sizes, fonts, texts and object names.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QTreeWidget>

#include "app/MainWindow.h"
#include "app/StatusPanels.h"
#include "app/WindowFonts.h"
#include "common/Icons.h"
#include "common/Place.h"

using quorrel::detailsFont;
using quorrel::Glyph;
using quorrel::uiFont;

namespace {

const QColor LightGrey(0xE8, 0xE8, 0xE8);

}  // namespace

QFont quorrel::uiFont() {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSize(8);
  return f;
}

QFont quorrel::detailsFont(bool bold) {
  QFont f(QStringLiteral("Verdana"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSize(8);
  f.setBold(bold);
  return f;
}

namespace {

using quorrel::place;

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
  // Values come from the catalogue and the server: a text that looks like markup is still shown as it stands.
  l->setTextFormat(Qt::PlainText);
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

void MainWindow::buildMenus() {
  QMenuBar* bar = menuBar();
  bar->setFont(uiFont());

  fileMenu = bar->addMenu(QStringLiteral("Файл"));
  fileMenu->setObjectName(QStringLiteral("fileMenu"));
  connectAction = menuItem(fileMenu, "connectAction", QStringLiteral("Соединиться с телефоном"),
                           QKeySequence(QStringLiteral("Ctrl+P")));
  disconnectAction = menuItem(fileMenu, "disconnectAction", QStringLiteral("Отключиться от телефона"),
                              QKeySequence(QStringLiteral("Ctrl+D")));
  disconnectAction->setEnabled(false);
  fileMenu->addSeparator();
  updateAction =
      menuItem(fileMenu, "updateAction", QStringLiteral("Обновить базу"), QKeySequence(QStringLiteral("Ctrl+O")));
  compileJavaAction = menuItem(fileMenu, "compileJavaAction", QStringLiteral("Перекомпилировать Java"),
                               QKeySequence(QStringLiteral("Ctrl+J")));
  fileMenu->addSeparator();
  exitAction = menuItem(fileMenu, "exitAction", QStringLiteral("Выход"), QKeySequence(QStringLiteral("Alt+F4")));

  settingsMenu = bar->addMenu(QStringLiteral("Настройки"));
  settingsMenu->setObjectName(QStringLiteral("settingsMenu"));
  settingsAction =
      menuItem(settingsMenu, "settingsAction", QStringLiteral("Настройки"), QKeySequence(QStringLiteral("Ctrl+N")));
  settingsMenu->addSeparator();
  autoCompileAction = menuItem(settingsMenu, "autoCompileAction", QStringLiteral("Автоматическая компиляция Java"));
  autoCompileAction->setCheckable(true);
  autoCompileAction->setChecked(true);
  settingsMenu->addSeparator();
  alphabeticalSortAction = menuItem(settingsMenu, "alphabeticalSortAction", QStringLiteral("Сортировка по алфавиту"));
  alphabeticalSortAction->setCheckable(true);
  alphabeticalSortAction->setChecked(true);
  manualSortAction = menuItem(settingsMenu, "manualSortAction", QStringLiteral("Ручная сортировка"));
  manualSortAction->setCheckable(true);

  helpMenu = bar->addMenu(QStringLiteral("Помощь"));
  helpMenu->setObjectName(QStringLiteral("helpMenu"));
  aboutAction =
      menuItem(helpMenu, "aboutAction", QStringLiteral("О программе..."), QKeySequence(QStringLiteral("Ctrl+A")));
  helpMenu->addSeparator();
  historyAction =
      menuItem(helpMenu, "historyAction", QStringLiteral("История версий"), QKeySequence(QStringLiteral("Ctrl+H")));

  // The user's own games and finding a game have a menu of their own, last, so that the three menus above
  // keep exactly their items.
  gamesMenu = bar->addMenu(QStringLiteral("Игры"));
  gamesMenu->setObjectName(QStringLiteral("gamesMenu"));
  addGamesAction =
      menuItem(gamesMenu, "addGamesAction", QStringLiteral("Добавить игры..."), QKeySequence(QStringLiteral("Ctrl+G")));
  addGameFolderAction = menuItem(gamesMenu, "addGameFolderAction", QStringLiteral("Добавить папку с играми..."),
                                 QKeySequence(QStringLiteral("Ctrl+Shift+G")));
  gamesMenu->addSeparator();
  findGameAction = menuItem(gamesMenu, "findGameAction", QStringLiteral("Найти игру..."), QKeySequence::Find);
  findNextGameAction =
      menuItem(gamesMenu, "findNextGameAction", QStringLiteral("Найти следующую"), QKeySequence(Qt::Key_F3));

  catalogueMenu = new QMenu(this);
  catalogueMenu->setObjectName(QStringLiteral("catalogueMenu"));
  showMarkedAction = menuItem(catalogueMenu, "showMarkedAction", QStringLiteral("Показать выбранные игры"));
  // On one of the user's own games the tree offers one more item, in a menu of its own: the tree's menu keeps
  // its single item everywhere else.
  ownGameMenu = new QMenu(this);
  ownGameMenu->setObjectName(QStringLiteral("ownGameMenu"));
  ownGameMenu->addAction(showMarkedAction);
  removeOwnGameAction = menuItem(ownGameMenu, "removeOwnGameAction", QStringLiteral("Удалить из моих игр"));
  removeOwnGameAction->setVisible(false);
  logMenu = new QMenu(this);
  logMenu->setObjectName(QStringLiteral("logMenu"));
  clearLogAction = menuItem(logMenu, "clearLogAction", QStringLiteral("Очистить"));
}

void MainWindow::buildLayout() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(ClientWidth, ClientHeight);
  setCentralWidget(client);

  // Tool bar.
  toolBar = place(new QWidget(client), "toolBar", 0, 0, ClientWidth, 50);
  connectionButton =
      toolButton(toolBar, "connectionButton", 5, 5, QStringLiteral("Соединиться с телефоном"), Glyph::Connect);
  settingsButton =
      toolButton(toolBar, "settingsButton", 50, 5, QStringLiteral("Настройки соединения"), Glyph::Settings);
  updateButton = toolButton(toolBar, "updateButton", 95, 5, QStringLiteral("Обновить базу"), Glyph::Update);
  compileJavaButton =
      toolButton(toolBar, "compileJavaButton", 140, 5, QStringLiteral("Перекомпилировать java"), Glyph::Compile);
  uploadMarkedButton = toolButton(toolBar, "uploadMarkedButton", 185, 5,
                                  QStringLiteral("Закачать выбранные игры в телефон"), Glyph::UploadMarked);
  exitButton = toolButton(toolBar, "exitButton", 745, 5, QString(), Glyph::Exit);
  exitButton->setAccessibleName(QStringLiteral("Выход"));

  // Main panel.
  const int mainHeight = ClientHeight - 50 - StatusBarHeight;
  mainPanel = place(new QWidget(client), "mainPanel", 0, 50, ClientWidth, mainHeight);

  connectPicture = place(new QLabel(mainPanel), "connectPicture", 0, 0, 32, 32);
  connectPicture->setPixmap(quorrel::glyphIcon(Glyph::Connect).pixmap(32, 32));
  connectPicture->hide();
  disconnectPicture = place(new QLabel(mainPanel), "disconnectPicture", 0, 0, 32, 32);
  disconnectPicture->setPixmap(quorrel::glyphIcon(Glyph::Disconnect).pixmap(32, 32));
  disconnectPicture->hide();

  catalogueTree = place(new QTreeWidget(mainPanel), "catalogueTree", 8, 8, 273, 489);
  catalogueTree->setHeaderHidden(true);
  catalogueTree->setFont(detailsFont(true));
  catalogueTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  catalogueTree->setContextMenuPolicy(Qt::CustomContextMenu);
  catalogueTree->setAccessibleName(QStringLiteral("Каталог игр"));
  {
    QPalette pal = catalogueTree->palette();
    pal.setColor(QPalette::Base, LightGrey);
    catalogueTree->setPalette(pal);
  }

  pictureFrame = place(new QFrame(mainPanel), "pictureFrame", 288, 8, 138, 137);
  static_cast<QFrame*>(pictureFrame)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pictureBox = place(new QLabel(pictureFrame), "pictureBox", 5, 5, 128, 128);
  pictureBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  nameCaption = caption(mainPanel, "nameCaption", QStringLiteral("Название:"), 432, 8, 353, 16);
  nameLabel = value(mainPanel, "nameLabel", 432, 24, 353, 17);
  sizeCaption = caption(mainPanel, "sizeCaption", QStringLiteral("Размер:"), 432, 45, 113, 16);
  sizeLabel = value(mainPanel, "sizeLabel", 432, 61, 113, 25);
  sizeLabel->setText(QStringLiteral("0 байт"));
  contributorCaption = caption(mainPanel, "contributorCaption", QStringLiteral("Прислал:"), 552, 45, 113, 16);
  contributorLabel = value(mainPanel, "contributorLabel", 552, 61, 113, 25);
  transferLabel = value(mainPanel, "transferLabel", 432, 91, 353, 24);
  transferLabel->setWordWrap(false);
  progressBar = place(new QProgressBar(mainPanel), "progressBar", 432, 120, 209, 17);
  progressBar->setRange(0, 100);
  progressBar->setValue(0);
  progressBar->setTextVisible(false);

  gameButtons = place(new QWidget(mainPanel), "gameButtons", 645, 120, 140, 50);
  uploadGameButton = toolButton(gameButtons, "uploadGameButton", 5, 5, QString(), Glyph::UploadGame);
  uploadGameButton->setAccessibleName(QStringLiteral("Закачать игру в телефон"));  // hint without a tooltip
  downloadScreenshotButton =
      toolButton(gameButtons, "downloadScreenshotButton", 50, 5, QStringLiteral("Скачать скриншот"), Glyph::Screenshot);
  downloadGameButton =
      toolButton(gameButtons, "downloadGameButton", 95, 5, QStringLiteral("Скачать игру"), Glyph::DownloadGame);
  uploadGameButton->hide();
  downloadScreenshotButton->hide();
  downloadGameButton->hide();

  wapLinkCaption = caption(mainPanel, "wapLinkCaption", QStringLiteral("WAP ссылка:"), 288, 178, 105, 17);
  markGameBox = place(new QCheckBox(QStringLiteral("Выбрать игру"), mainPanel), "markGameBox", 400, 180, 113, 17);
  markGameBox->setFont(detailsFont(true));
  markGameBox->setAccessibleName(QStringLiteral("Выбрать игру"));
  wapLinkEdit = place(new QLineEdit(mainPanel), "wapLinkEdit", 288, 200, 497, 25);
  wapLinkEdit->setReadOnly(true);
  wapLinkEdit->setFont(detailsFont(false));
  wapLinkEdit->setAccessibleName(QStringLiteral("WAP ссылка"));
  descriptionCaption = caption(mainPanel, "descriptionCaption", QStringLiteral("Описание:"), 288, 226, 105, 17);

  descriptionPanel = place(new QWidget(mainPanel), "descriptionPanel", 288, 248, 498, 249);
  descriptionView = place(new QPlainTextEdit(descriptionPanel), "descriptionView", 0, 0, 498, 249);
  descriptionView->setReadOnly(true);
  descriptionView->setFont(detailsFont(false));
  descriptionView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  descriptionView->setAccessibleName(QStringLiteral("Описание"));
  phoneList = place(new QListWidget(descriptionPanel), "phoneList", 0, 0, 498, 249);
  phoneList->hide();

  messageLog = place(new QComboBox(mainPanel), "messageLog", 8, 500, 780, 22);
  messageLog->setEditable(true);
  messageLog->setInsertPolicy(QComboBox::NoInsert);
  // No completer: it would search the whole log again for every new line, and an update logs thousands.
  messageLog->setCompleter(nullptr);
  messageLog->setMaxVisibleItems(8);
  messageLog->setFont(uiFont());
  messageLog->setContextMenuPolicy(Qt::CustomContextMenu);
  messageLog->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
  messageLog->setAccessibleName(QStringLiteral("Журнал"));
  {
    QPalette pal = messageLog->palette();
    pal.setColor(QPalette::Base, LightGrey);
    messageLog->setPalette(pal);
  }

  statusPanels =
      place(new StatusPanels(client), "statusPanels", 0, ClientHeight - StatusBarHeight, ClientWidth, StatusBarHeight);
  statusPanels->setPanelText(quorrel::StatusPanel::Connection, QStringLiteral("Соединение не установлено"));
}
