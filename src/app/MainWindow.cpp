#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>

#include "app/StatusPanels.h"
#include "app/WindowFonts.h"
#include "catalogue/CatalogueBrowser.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/ShownText.h"
#include "common/WorkingFolder.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/HelpCommands.h"
#include "net/CatalogueUpdate.h"
#include "net/Downloads.h"
#include "phone/JavaListOrderDialog.h"
#include "phone/PluginBinding.h"
#include "settings/Settings.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsFile.h"
#include "suites/OwnGames.h"

MainWindow::MainWindow(quorrel::Prompter* prompter, QWidget* parent)
    : QMainWindow(parent), prompter_(prompter), settings_(std::make_unique<quorrel::Settings>()) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QStringLiteral("Quorrel v1.2 Final"));
  setFont(quorrel::uiFont());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  buildMenus();
  buildLayout();
  createSubsystems();
  connectHandlers();

  // A fixed client area of 791 x 594 below the menu bar, centred on the desktop.
  const int height = ClientHeight + menuBar()->sizeHint().height();
  setFixedSize(ClientWidth, height);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->availableGeometry();
    move(desk.center() - QPoint(ClientWidth / 2, height / 2));
  }

  guarded([this] { startUp(); });
}

MainWindow::~MainWindow() { shutDown(); }

void MainWindow::createSubsystems() {
  quorrel::DetailsPane pane;
  pane.catalogueTree = catalogueTree;
  pane.pictureFrame = pictureFrame;
  pane.pictureBox = pictureBox;
  pane.nameLabel = nameLabel;
  pane.sizeLabel = sizeLabel;
  pane.contributorLabel = contributorLabel;
  pane.descriptionView = descriptionView;
  pane.wapLinkEdit = wapLinkEdit;
  pane.markGameBox = markGameBox;
  pane.uploadGameButton = uploadGameButton;
  pane.downloadGameButton = downloadGameButton;
  pane.downloadScreenshotButton = downloadScreenshotButton;
  browser_ = std::make_unique<quorrel::CatalogueBrowser>(catalogue_, *settings_, *prompter_, *this, pane,
                                                         [this] { return phone_->connected(); });

  downloads_ =
      std::make_unique<quorrel::Downloads>(this, *settings_, catalogue_, *this, *prompter_, commands_, *this);
  update_ = std::make_unique<quorrel::CatalogueUpdate>(this, *downloads_, catalogue_, *settings_, *prompter_, *this,
                                                       commands_, *this);
  phone_ = std::make_unique<quorrel::PhoneSession>(*settings_, catalogue_, *this, *prompter_, commands_, *this);
  ownGames_ = std::make_unique<quorrel::suites::OwnGamesCommands>(catalogue_, *prompter_, *this, commands_,
                                                                  [this] { browser_->loadCatalogue(); });
  commands_.setObserver([this] { showCommandState(); });
  chooseGamePaths = [this](bool folder) {
    if (folder) {
      const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Добавить папку с играми"));
      return dir.isEmpty() ? QStringList() : QStringList{dir};
    }
    return QFileDialog::getOpenFileNames(this, QStringLiteral("Добавить игры"), QString(),
                                         QStringLiteral("Игры Java (*.jar *.jad *.JAR *.JAD);;Все файлы (*)"));
  };
  setAcceptDrops(true);

  connect(settings_.get(), &quorrel::Settings::changed, this, [this] { showSettingsMarks(); });
  showSettingsMarks();
}

void MainWindow::createDialogs() {
  settingsDialog_ = new SettingsDialog(*settings_, *prompter_, *this, this);
  javaListOrderDialog_ = new JavaListOrderDialog(*prompter_, this);
  phone_->setOrderDialog(javaListOrderDialog_);
}

void MainWindow::connectHandlers() {
  auto on = [this](QAction* a, const std::function<void()>& handler) {
    connect(a, &QAction::triggered, this, [this, handler] { guarded(handler); });
  };
  auto onButton = [this](QToolButton* b, const std::function<void()>& handler) {
    connect(b, &QToolButton::clicked, this, [this, handler] { guarded(handler); });
  };
  on(connectAction, [this] { phone_->connectPhone(); });
  on(disconnectAction, [this] { phone_->disconnectPhone(); });
  on(updateAction, [this] { update_->updateCatalogue(); });
  on(compileJavaAction, [this] { phone_->compileJava(); });
  on(exitAction, [this] { exitProgram(); });
  on(settingsAction, [this] { showSettings(); });
  // These handlers set the check marks themselves: undo the toolkit's own toggle before they run.
  auto onMark = [this](QAction* a, const std::function<void()>& handler) {
    connect(a, &QAction::triggered, this, [this, a, handler] {
      a->setChecked(!a->isChecked());
      guarded(handler);
    });
  };
  onMark(autoCompileAction, [this] { toggleAutoCompile(); });
  onMark(alphabeticalSortAction, [this] { toggleSortMode(); });
  onMark(manualSortAction, [this] { toggleSortMode(); });
  on(aboutAction, [this] { showAbout(); });
  on(historyAction, [this] { showHistory(); });
  on(showMarkedAction, [this] { browser_->showMarkedGames(this); });
  on(addGamesAction, [this] { chooseAndAddGames(false); });
  on(addGameFolderAction, [this] { chooseAndAddGames(true); });
  on(removeOwnGameAction, [this] { ownGames_->remove(ownGameInMenu_); });
  on(findGameAction, [this] { browser_->findGame(); });
  on(findNextGameAction, [this] { browser_->findNextGame(); });
  on(clearLogAction, [this] { clearLog(); });
  onButton(connectionButton, [this] { phone_->toggleConnection(); });
  onButton(settingsButton, [this] { showSettings(); });
  onButton(updateButton, [this] { update_->updateCatalogue(); });
  onButton(compileJavaButton, [this] { phone_->compileJava(); });
  onButton(uploadMarkedButton, [this] { phone_->uploadMarkedGames(); });
  onButton(exitButton, [this] { exitProgram(); });
  onButton(uploadGameButton, [this] { phone_->uploadCurrentGame(); });
  onButton(downloadScreenshotButton, [this] { downloads_->downloadScreenshot(); });
  onButton(downloadGameButton, [this] { downloads_->downloadGame(); });
  connect(markGameBox, &QCheckBox::clicked, this, [this] { guarded([this] { browser_->markGameToggled(); }); });
  connect(catalogueTree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { guarded([this, current] { browser_->showNode(current); }); });
  connect(catalogueTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    prepareCatalogueMenu(catalogueTree->itemAt(at));
    (ownGameInMenu_ != 0 ? ownGameMenu : catalogueMenu)->popup(catalogueTree->viewport()->mapToGlobal(at));
  });
  auto offerLogMenu = [this](QWidget* w) {
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) { logMenu->popup(w->mapToGlobal(at)); });
  };
  offerLogMenu(messageLog);
  offerLogMenu(messageLog->lineEdit());
}

// The settings menu's marks show the values in force.
void MainWindow::showSettingsMarks() {
  autoCompileAction->setChecked(settings_->autoCompileJava());
  alphabeticalSortAction->setChecked(settings_->alphabeticalSort());
  manualSortAction->setChecked(settings_->manualSort());
}

// ---- The message log ------------------------------------------------------------------------------------
void MainWindow::addLine(const QString& line) {
  const QString shown = quorrel::shownLabel(line);
  keepLine(shown);
  messageLog->setEditText(shown);
}

void MainWindow::insertLine(const QString& line) {
  // Keep the edit text: inserting at the top may otherwise change the current item.
  const QString edit = messageLog->currentText();
  keepLine(quorrel::shownLabel(line));
  messageLog->setEditText(edit);
}

void MainWindow::keepLine(const QString& shown) {
  messageLog->insertItem(0, shown);
  if (messageLog->count() > quorrel::MaxLogLines) {
    const int kept = quorrel::MaxLogLines - quorrel::LogTrimLines;
    messageLog->model()->removeRows(kept, messageLog->count() - kept);
  }
}

void MainWindow::clearLog() {
  messageLog->clear();
  messageLog->setEditText(QString());
}

// While a command works on the game on display, the tree takes no other choice. The other commands refuse
// themselves while one runs, and stay enabled as they always were.
void MainWindow::showCommandState() { catalogueTree->setEnabled(!commands_.catalogueLocked()); }

QStringList MainWindow::logLines() const {
  QStringList lines;
  for (int i = 0; i < messageLog->count(); ++i) lines << messageLog->itemText(i);
  return lines;
}

QString MainWindow::statusText(quorrel::StatusPanel panel) const { return statusPanels->panelText(panel); }

// ---- The phone session's view ---------------------------------------------------------------------------
void MainWindow::setStatusText(quorrel::StatusPanel panel, const QString& text) {
  statusPanels->setPanelText(panel, text);
}

// The plugin reports while it holds the main thread, so the event loop cannot draw what its reports change;
// the window draws it here, at most once a frame. A plugin on a fast line reports thousands of packets a
// second, and drawing the progress line takes about as long as sending a packet. What a report leaves undrawn
// is drawn by the next one, or by the event loop once the plugin's call has returned.
void MainWindow::drawPluginReports() {
  constexpr qint64 FrameMs = 16;
  if (pluginReportsDrawn_.isValid() && pluginReportsDrawn_.elapsed() < FrameMs) return;
  QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
  pluginReportsDrawn_.start();
}

void MainWindow::showPluginLog(const QString& text) {
  statusPanels->setPanelText(quorrel::StatusPanel::PluginMessage, text);
  drawPluginReports();
}

void MainWindow::showPluginProgress(int percent, const QString& target) {
  // Drawn against the bar's present range; a value outside it shows as the nearest end. The bar would draw
  // itself at once on every visible step; here it is drawn with the rest.
  const int value = std::clamp(percent, progressBar->minimum(), progressBar->maximum());
  if (value != progressBar->value()) {
    progressBar->setUpdatesEnabled(false);
    progressBar->setValue(value);
    progressBar->setUpdatesEnabled(true);
  }
  const QString shown = quorrel::shownLabel(target);
  if (shown != transferLabel->text()) transferLabel->setText(shown);
  drawPluginReports();
}

void MainWindow::showConnected(bool connected) {
  connectAction->setEnabled(!connected);
  disconnectAction->setEnabled(connected);
  const QString hint =
      connected ? QStringLiteral("Отключиться от телефона") : QStringLiteral("Соединиться с телефоном");
  connectionButton->setIcon(QIcon((connected ? disconnectPicture : connectPicture)->pixmap()));
  connectionButton->setToolTip(hint);
  connectionButton->setAccessibleName(hint);
}

void MainWindow::setPhoneFiles(const QStringList& entries) {
  phoneList->clear();
  QStringList shown;
  shown.reserve(entries.size());
  for (const QString& entry : entries) shown << quorrel::shownLabel(entry);
  phoneList->addItems(shown);
}

void MainWindow::setUploadGameVisible(bool visible) { uploadGameButton->setVisible(visible); }

void MainWindow::resetProgress(bool fullRange) {
  progressBar->setValue(0);
  if (fullRange) progressBar->setMaximum(100);
}

void MainWindow::clearTransferLine() { transferLabel->clear(); }

// ---- The transfers' and the update's view ---------------------------------------------------------------
void MainWindow::showTransferProgress(int total, int done) {
  progressBar->setMaximum(total);
  progressBar->setValue(done);
}

void MainWindow::showTransferName(const QString& name) { transferLabel->setText(name); }

void MainWindow::clearPluginStatus() { statusPanels->setPanelText(quorrel::StatusPanel::PluginMessage, QString()); }

void MainWindow::showScreenshot(const std::string& file) { browser_->showPicture(file); }

void MainWindow::gameDownloaded() { downloadGameButton->hide(); }

void MainWindow::screenshotDownloaded() { downloadScreenshotButton->hide(); }

bool MainWindow::windowShown() const { return isVisible(); }

void MainWindow::catalogueArrived() { browser_->loadCatalogue(); }

// ---- Commands of the window itself ----------------------------------------------------------------------
void MainWindow::startUp() {
  const std::string base = quorrel::currentDir() + quorrel::workfolder::Base;
  if (!quorrel::directoryExists(base) && !quorrel::createDirectory(base)) {
    throw quorrel::QuorrelError("Не могу создать папку" + base);
  }
  const std::string games = quorrel::currentDir() + quorrel::workfolder::Games;
  if (!quorrel::directoryExists(games) && !quorrel::createDirectory(games)) {
    throw quorrel::QuorrelError("Не могу создать папку" + games);
  }
  quorrel::recoverInterruptedUpdate(*this);
  PluginBinding::load("sghfs.wfx");
  settings_->readAtStartUp(quorrel::localPath(quorrel::SettingsFileName));
  browser_->loadCatalogue();
}

void MainWindow::shutDown() {
  if (destroyed_) return;
  destroyed_ = true;
  PluginBinding::unload();
}

void MainWindow::exitProgram() { close(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  shutDown();
  event->accept();
  emit closed();
}

void MainWindow::showSettings() {
  if (commands_.busy()) return;
  settingsDialog_->exec();
}

// Each mark saves at once through the dialog's writer; when the save is refused the new mark stays.
void MainWindow::toggleAutoCompile() {
  settings_->setAutoCompileJava(!settings_->autoCompileJava());
  if (settingsDialog_) settingsDialog_->save();
}

void MainWindow::toggleSortMode() {
  // Either item swaps the sort mode, even the one already checked.
  settings_->setSortMarks(!settings_->alphabeticalSort(), !settings_->manualSort());
  if (settingsDialog_) settingsDialog_->save();
}

void MainWindow::showAbout() {
  quorrel::showAbout(this,
                     {windowTitle(), catalogue_.gameCount(), catalogue_.baseVersion(), PluginBinding::pluginVersion});
}

void MainWindow::showHistory() { quorrel::showHistory(this, *prompter_); }

// ---- The user's own games -------------------------------------------------------------------------------
void MainWindow::chooseAndAddGames(bool folder) {
  if (!chooseGamePaths) return;
  addGames(chooseGamePaths(folder));
}

void MainWindow::addGames(const QStringList& paths) {
  std::vector<std::string> list;
  for (const QString& p : paths) list.push_back(QFileInfo(p).absoluteFilePath().toStdString());
  ownGames_->add(list);
}

void MainWindow::prepareCatalogueMenu(QTreeWidgetItem* node) {
  ownGameInMenu_ = browser_->ownGameOf(node);
  removeOwnGameAction->setVisible(ownGameInMenu_ != 0);
}

namespace {

// The local files and folders among dropped URLs that could be games: .jar and .jad files, and folders.
QStringList droppedGamePaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QFileInfo info(url.toLocalFile());
    const QString suffix = info.suffix().toLower();
    if (info.isDir() || suffix == QLatin1String("jar") || suffix == QLatin1String("jad")) {
      paths << info.absoluteFilePath();
    }
  }
  return paths;
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedGamePaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (!droppedGamePaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList paths = droppedGamePaths(event->mimeData());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  guarded([this, paths] { addGames(paths); });
}

// ---------------------------------------------------------------------------------------------------------
std::unique_ptr<MainWindow> createApplicationWindows(quorrel::Prompter* prompter) {
  auto main = std::make_unique<MainWindow>(prompter);
  main->createDialogs();
  return main;
}

int runProgram(quorrel::Prompter* prompter, const std::function<void(MainWindow&)>& started) {
  auto mainForm = createApplicationWindows(prompter);
  // Closing the main window ends the program at once: every event loop running is told to end, also the
  // ones that wait for a transfer, and any loop entered afterwards returns at once. The toolkit's own quit on
  // the last window is a posted event, which a wait for the next transfer, opened before it is delivered,
  // would discard: the program would then run on without a window.
  QObject::connect(mainForm.get(), &MainWindow::closed, mainForm.get(), [] { QCoreApplication::exit(0); });
  mainForm->show();
  if (started) started(*mainForm);
  return QApplication::exec();
}
