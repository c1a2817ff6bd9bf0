#pragma once
// The main window: layout, start-up, shutdown, shell commands, the message log and the shared state fields.
// Its operations for the catalogue, downloads, the update and the phone are member functions defined in the
// folders of those subsystems.
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "catalogue/Catalogue.h"
#include "common/Prompter.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMovie;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class HttpGet;
class ZipExtractor;
class SettingsDialog;
class JavaListOrderDialog;

// The five-panel status bar at the bottom edge.
class StatusPanels : public QWidget {
  Q_OBJECT
 public:
  explicit StatusPanels(QWidget* parent);
  QString panelText(int index) const;
  void setPanelText(int index, const QString& text);
  QLabel* panel(int index) const { return panels_[static_cast<size_t>(index)]; }

 private:
  std::array<QLabel*, 5> panels_{};
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Builds the window and runs its creation step (folders, plugin, settings, catalogue). Errors of the
  // creation step are reported through `prompter`, which must outlive the window.
  explicit MainWindow(quorrel::Prompter* prompter, QWidget* parent = nullptr);
  ~MainWindow() override;

  quorrel::Prompter& prompter() const { return *prompter_; }

  // ---- State fields shared by the subsystems ----
  quorrel::FolderTable folders{};
  quorrel::GameTable games{};
  int folderCount = 0;
  int gameCount = 0;
  std::string baseVersion;
  int currentGame = 0;
  std::string currentGameFile;
  std::string currentGameScreen;
  std::string updateServer;
  std::uint8_t updateMode = 0;
  bool updateFolderPictures = false;
  std::string comPort;
  int comSpeed = 0;
  bool busy = false;
  bool overwriteAll = false;
  bool skipAll = false;

  // Non-visual components.
  HttpGet* downloader = nullptr;
  ZipExtractor* zipExtractor = nullptr;
  // The two dialogs made once at program start (see createApplicationWindows).
  SettingsDialog* settingsDialog = nullptr;
  JavaListOrderDialog* javaListOrderDialog = nullptr;

  // ---- Controls (objectName = member name) ----
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
  QMovie* pictureMovie = nullptr;  // the animation playing in pictureBox, if any

  // Menus and their items.
  QMenu* fileMenu = nullptr;  // "Файл"
  QAction* connectAction = nullptr;
  QAction* disconnectAction = nullptr;
  QAction* updateAction = nullptr;
  QAction* compileJavaAction = nullptr;
  QAction* exitAction = nullptr;
  QMenu* settingsMenu = nullptr;  // "Настройки"
  QAction* settingsAction = nullptr;
  QAction* autoCompileAction = nullptr;
  QAction* alphabeticalSortAction = nullptr;
  QAction* manualSortAction = nullptr;
  QMenu* helpMenu = nullptr;  // "Помощь"
  QAction* aboutAction = nullptr;
  QAction* historyAction = nullptr;
  QMenu* catalogueMenu = nullptr;
  QAction* showMarkedAction = nullptr;  // "Показать выбранные игры"
  QMenu* logMenu = nullptr;
  QAction* clearLogAction = nullptr;  // "Очистить"

  // ---- Message log ----
  // Time of day in the system's time format.
  static QString timeText();
  // Inserts a line as the first item of the log and shows it in the box's edit text.
  void addLine(const QString& line);
  // Inserts a line as the first item without touching the edit text.
  void insertLine(const QString& line);
  // addLine(timeText() + text); text starts with a blank.
  void logCommand(const QString& text);

  // Runs a handler body; an escaping error is shown by the error report.
  void guarded(const std::function<void()>& body);

  // ---- Shell (app/MainUnit.cpp) ----
  void startUp();  // creation step
  void shutDown();
  void exitProgram();
  void showSettings();
  void clearLog();

  // ---- Settings (app/CommUnit.cpp) ----
  void readSettingsAtStartUp();  // the start-up read of Quorrel.ini
  void toggleAutoCompile();
  void toggleSortMode();

  // ---- Catalogue (catalogue/) ----
  void loadCatalogue();
  void showNode(QTreeWidgetItem* node);
  void markGameToggled();
  void showMarkedGames();  // "Показать выбранные игры"
  // Shows a GIF file in pictureBox, animated, the box taking the picture's size. Throws when it cannot.
  void showPicture(const std::string& path);
  // The ANSI bytes of a tree node's text.
  static std::string nodeText(const QTreeWidgetItem* node);

  // ---- Downloads and update (net/) ----
  void configureDownloader();
  void downloadFromServer(const std::string& relativePath);
  int remoteFileSize(const std::string& url);
  int localFileSize(const std::string& path);
  void downloadProgress(QObject* sender, int totalSize, int readed);
  void downloadDone(QObject* sender, const std::string& fileName, int fileSize);
  void downloadFailed(QObject* sender);
  void downloadGame();
  void downloadScreenshot();
  void updateCatalogue();

  // ---- Phone (phone/) ----
  void connectPhone();
  void disconnectPhone();
  void toggleConnection();
  void showPluginLog(const std::string& text);
  void showPluginProgress(const std::string& source, const std::string& target, int percent);
  void uploadCurrentGame();
  void uploadMarkedGames();
  void compileJava();
  void orderJavaList(std::string& list);

  // ---- Help (dialogs/) ----
  void showAbout();
  void showHistory();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildLayout();
  void buildMenus();
  void connectHandlers();

  quorrel::Prompter* prompter_;
  bool destroyed_ = false;
};

// The program entry's windows: the main window (running its creation step), then the settings dialog and
// the manual-sort dialog, each made once. The dialogs are owned by the main window.
std::unique_ptr<MainWindow> createApplicationWindows(quorrel::Prompter* prompter);
