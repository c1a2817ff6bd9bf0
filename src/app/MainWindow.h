#pragma once
// The main window: its widgets and menus, and the wiring from them to the subsystems that own the program's
// state and behaviour (settings, catalogue, downloads and the update, the phone session). It is the message
// log, the phone session's view and the transfers' and the update's view; start-up, shutdown and the log
// commands are its own. What may run is enabled in one place, from the command state and the connection.
#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

#include "catalogue/Catalogue.h"
#include "common/CommandState.h"
#include "common/MessageLog.h"
#include "common/Prompter.h"
#include "net/CatalogueUpdate.h"
#include "phone/PhoneSession.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class JavaListOrderDialog;
class SettingsDialog;
class StatusPanels;

namespace quorrel {
namespace suites {
class OwnGamesCommands;
}
class CatalogueBrowser;
class Settings;
}  // namespace quorrel

class MainWindow : public QMainWindow,
                   public quorrel::MessageLog,
                   public quorrel::PhoneView,
                   public quorrel::UpdateView {
  Q_OBJECT
 public:
  static constexpr int ClientWidth = 791;
  static constexpr int ClientHeight = 594;
  static constexpr int StatusBarHeight = 19;

  // Builds the window and runs its start-up step (folders, plugin, settings, catalogue). Errors of the
  // start-up step are reported through `prompter`, which must outlive the window.
  explicit MainWindow(quorrel::Prompter* prompter, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Makes the two dialogs that live for the whole run: the settings dialog (which reads the settings file
  // into its controls) and the Java list's order dialog.
  void createDialogs();

  quorrel::Prompter& prompter() const { return *prompter_; }
  quorrel::Settings& settings() { return *settings_; }
  quorrel::Catalogue& catalogue() { return catalogue_; }
  quorrel::CommandState& commandState() { return commands_; }
  quorrel::CatalogueBrowser& browser() { return *browser_; }
  quorrel::Downloads& downloads() { return *downloads_; }
  quorrel::CatalogueUpdate& catalogueUpdate() { return *update_; }
  quorrel::PhoneSession& phone() { return *phone_; }
  SettingsDialog* settingsDialog() const { return settingsDialog_; }
  JavaListOrderDialog* javaListOrderDialog() const { return javaListOrderDialog_; }

  // ---- For benchmarks and fuzz targets, which drive the window as a user would ----
  // The message log's lines, newest first, as shown (with their time of day).
  QStringList logLines() const;
  // The catalogue tree, whose nodes a benchmark selects as the user clicks them.
  QTreeWidget* catalogueView() const { return catalogueTree; }
  // What a panel of the status bar shows.
  QString statusText(quorrel::StatusPanel panel) const;

  // ---- The message log ----
  void addLine(const QString& line) override;
  void insertLine(const QString& line) override;

  // ---- The phone session's view ----
  void setStatusText(quorrel::StatusPanel panel, const QString& text) override;
  void showPluginLog(const QString& text) override;
  void showPluginProgress(int percent, const QString& target) override;
  void showConnected(bool connected) override;
  void setPhoneFiles(const QStringList& entries) override;
  void setUploadGameVisible(bool visible) override;
  // Shared with the transfers' view.
  void resetProgress(bool fullRange) override;
  void clearTransferLine() override;

  // ---- The transfers' and the update's view ----
  void showTransferProgress(int total, int done) override;
  void showTransferName(const QString& name) override;
  void clearPluginStatus() override;
  void showScreenshot(const std::string& file) override;
  void gameDownloaded() override;
  void screenshotDownloaded() override;
  bool windowShown() const override;
  void catalogueArrived() override;

  // Runs a handler body; an escaping error is shown by the error report.
  void guarded(const std::function<void()>& body) { prompter_->guarded(body); }

  // ---- Commands of the window itself ----
  // Makes the working folders, loads the phone plugin, reads the settings and loads the catalogue.
  void startUp();
  // Releases the phone plugin (once).
  void shutDown();
  void exitProgram();
  void showSettings();
  void clearLog();
  // The settings menu's marks: each saves the settings at once.
  void toggleAutoCompile();
  void toggleSortMode();
  void showAbout();
  void showHistory();

  // ---- The user's own games ----
  // What the user picks in the file dialog: .jar/.jad files, or one folder. Tests put their own chooser here.
  std::function<QStringList(bool folder)> chooseGamePaths;
  // "Добавить игры..." / "Добавить папку с играми...": asks chooseGamePaths, then adds what was chosen.
  void chooseAndAddGames(bool folder);
  // Adds .jar/.jad files and folders to "Мои игры" (the menu, files dropped on the window, the command line).
  void addGames(const QStringList& paths);
  // The catalogue's context menu for the node under the pointer: "Удалить из моих игр" shows on the user's
  // own games only, and then removes that game.
  void prepareCatalogueMenu(QTreeWidgetItem* node);
  quorrel::suites::OwnGamesCommands& ownGames() { return *ownGames_; }

 signals:
  // The window has been closed: the program is ending.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildLayout();
  void buildMenus();
  void createSubsystems();
  void connectHandlers();
  void showSettingsMarks();
  // The one place that enables what may run, after every change of the command state or the connection.
  void showCommandState();
  void drawPluginReports();
  // Puts a shown line at the top of the log and drops the oldest ones when it is full.
  void keepLine(const QString& shown);

  // ---- Controls (objectName = member name; tests find them by it) ----
  QWidget* toolBar = nullptr;  // tool bar
  QToolButton* connectionButton = nullptr;
  QToolButton* settingsButton = nullptr;
  QToolButton* updateButton = nullptr;
  QToolButton* compileJavaButton = nullptr;
  QToolButton* uploadMarkedButton = nullptr;
  QToolButton* exitButton = nullptr;
  QWidget* mainPanel = nullptr;         // main panel
  QLabel* connectPicture = nullptr;     // hidden holder of the connect picture
  QLabel* disconnectPicture = nullptr;  // hidden holder of the disconnect picture
  QTreeWidget* catalogueTree = nullptr;
  QWidget* pictureFrame = nullptr;
  QLabel* pictureBox = nullptr;
  QLabel* nameCaption = nullptr;
  QLabel* nameLabel = nullptr;
  QLabel* sizeCaption = nullptr;
  QLabel* sizeLabel = nullptr;
  QLabel* contributorCaption = nullptr;
  QLabel* contributorLabel = nullptr;
  QLabel* transferLabel = nullptr;
  QProgressBar* progressBar = nullptr;
  QWidget* gameButtons = nullptr;  // per-game buttons
  QToolButton* uploadGameButton = nullptr;
  QToolButton* downloadScreenshotButton = nullptr;
  QToolButton* downloadGameButton = nullptr;
  QLabel* wapLinkCaption = nullptr;
  QCheckBox* markGameBox = nullptr;
  QLineEdit* wapLinkEdit = nullptr;
  QLabel* descriptionCaption = nullptr;
  QWidget* descriptionPanel = nullptr;  // description panel
  QPlainTextEdit* descriptionView = nullptr;
  QListWidget* phoneList = nullptr;
  QComboBox* messageLog = nullptr;
  StatusPanels* statusPanels = nullptr;

  // Menus and their items.
  QMenu* fileMenu = nullptr;  // "Файл"
  QAction* connectAction = nullptr;
  QAction* disconnectAction = nullptr;
  QAction* updateAction = nullptr;
  QAction* compileJavaAction = nullptr;
  QAction* addGamesAction = nullptr;       // "Добавить игры..."
  QAction* addGameFolderAction = nullptr;  // "Добавить папку с играми..."
  QAction* findGameAction = nullptr;       // "Найти игру..."
  QAction* findNextGameAction = nullptr;   // "Найти следующую"
  QAction* exitAction = nullptr;
  QMenu* settingsMenu = nullptr;  // "Настройки"
  QAction* settingsAction = nullptr;
  QAction* autoCompileAction = nullptr;
  QAction* alphabeticalSortAction = nullptr;
  QAction* manualSortAction = nullptr;
  QMenu* helpMenu = nullptr;  // "Помощь"
  QAction* aboutAction = nullptr;
  QAction* historyAction = nullptr;
  QMenu* gamesMenu = nullptr;  // "Игры": the user's own games and finding a game
  QMenu* catalogueMenu = nullptr;
  QMenu* ownGameMenu = nullptr;            // the tree's menu on one of the user's own games
  QAction* showMarkedAction = nullptr;     // "Показать выбранные игры"
  QAction* removeOwnGameAction = nullptr;  // "Удалить из моих игр", shown on the user's own games only
  QMenu* logMenu = nullptr;
  QAction* clearLogAction = nullptr;  // "Очистить"

  quorrel::Prompter* prompter_;
  std::unique_ptr<quorrel::Settings> settings_;
  quorrel::Catalogue catalogue_;
  quorrel::CommandState commands_;
  std::unique_ptr<quorrel::CatalogueBrowser> browser_;
  std::unique_ptr<quorrel::Downloads> downloads_;
  std::unique_ptr<quorrel::CatalogueUpdate> update_;
  std::unique_ptr<quorrel::PhoneSession> phone_;
  std::unique_ptr<quorrel::suites::OwnGamesCommands> ownGames_;
  int ownGameInMenu_ = 0;  // the game "Удалить из моих игр" removes
  SettingsDialog* settingsDialog_ = nullptr;
  JavaListOrderDialog* javaListOrderDialog_ = nullptr;
  bool destroyed_ = false;
  QElapsedTimer pluginReportsDrawn_;  // since the plugin's reports were last drawn during its call
};

// The program entry's windows: the main window (running its start-up step), then its two dialogs.
std::unique_ptr<MainWindow> createApplicationWindows(quorrel::Prompter* prompter);

// The program: makes the windows, shows the main window, calls `started` (when given) and runs the
// application's event loop until the main window is closed; returns the loop's exit code.
int runProgram(quorrel::Prompter* prompter, const std::function<void(MainWindow&)>& started = {});
