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

class THTTPGet;
class TZip;
class TCommPortForm;
class TSortForm;

// The five-panel status bar at the bottom edge.
class TStatusBar : public QWidget {
  Q_OBJECT
 public:
  explicit TStatusBar(QWidget* parent);
  QString panelText(int index) const;
  void setPanelText(int index, const QString& text);
  QLabel* panel(int index) const { return panels_[static_cast<size_t>(index)]; }

 private:
  std::array<QLabel*, 5> panels_{};
};

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  // Builds the window and runs its creation step (folders, plugin, settings, catalogue). Errors of the
  // creation step are reported through `prompter`, which must outlive the window.
  explicit TMainForm(quorrel::Prompter* prompter, QWidget* parent = nullptr);
  ~TMainForm() override;

  quorrel::Prompter& prompter() const { return *prompter_; }

  // ---- State fields shared by the subsystems ----
  quorrel::FolderTable Folders{};
  quorrel::GameTable JavaBase{};
  int FolderCount = 0;
  int GameCount = 0;
  std::string BaseVersion;
  int CurrentGame = 0;
  std::string CurrentGameFile;
  std::string CurrentGameScreen;
  std::string UpdateServer;
  std::uint8_t UpdateMode = 0;
  bool UpdateFolderPictures = false;
  std::string ComPort;
  int ComSpeed = 0;
  bool SortModeRead = false;  // the start-up read took the sort mode from the file
  bool Busy = false;
  bool OverwriteAll = false;
  bool SkipAll = false;

  // Non-visual components.
  THTTPGet* HTTPGetFile = nullptr;
  TZip* Zip1 = nullptr;
  // The two dialogs made once at program start (see createApplicationWindows).
  TCommPortForm* CommPortForm = nullptr;
  TSortForm* SortForm = nullptr;

  // ---- Controls (objectName = member name) ----
  QWidget* Panel1 = nullptr;  // tool bar
  QToolButton* SpeedButton6 = nullptr;
  QToolButton* SpeedButton4 = nullptr;
  QToolButton* SpeedButton8 = nullptr;
  QToolButton* SpeedButton5 = nullptr;
  QToolButton* SpeedButton10 = nullptr;
  QToolButton* SpeedButton7 = nullptr;
  QWidget* Panel2 = nullptr;  // main panel
  QLabel* Image1 = nullptr;   // hidden holder of the connect picture
  QLabel* Image2 = nullptr;   // hidden holder of the disconnect picture
  QTreeWidget* TreeView1 = nullptr;
  QWidget* Panel3 = nullptr;
  QLabel* GIFImage1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label6 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QWidget* Panel5 = nullptr;  // per-game buttons
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QLabel* Label9 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QLineEdit* Memo2 = nullptr;
  QLabel* Label5 = nullptr;
  QWidget* Panel4 = nullptr;  // description panel
  QPlainTextEdit* Memo1 = nullptr;
  QListWidget* PhoneList = nullptr;
  QComboBox* ComboBox = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  QMovie* GIFMovie = nullptr;  // the animation playing in GIFImage1, if any

  // Menus and their items.
  QMenu* N1 = nullptr;  // "Файл"
  QAction* N4 = nullptr;
  QAction* N10 = nullptr;
  QAction* N13 = nullptr;
  QAction* Java2 = nullptr;
  QAction* N5 = nullptr;
  QMenu* N6 = nullptr;  // "Настройки"
  QAction* N8 = nullptr;
  QAction* Java1 = nullptr;
  QAction* N16 = nullptr;
  QAction* N17 = nullptr;
  QMenu* N2 = nullptr;  // "Помощь"
  QAction* N3 = nullptr;
  QAction* N14 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* N18 = nullptr;  // "Показать выбранные игры"
  QMenu* PopupMenu2 = nullptr;
  QAction* N19 = nullptr;  // "Очистить"

  // ---- Message log ----
  // Time of day in the system's time format.
  static QString TimeText();
  // Inserts a line as the first item of the log and shows it in the box's edit text.
  void AddLogLine(const QString& line);
  // Inserts a line as the first item without touching the edit text.
  void InsertLogLine(const QString& line);
  // AddLogLine(TimeText() + text); text starts with a blank.
  void LogCommand(const QString& text);

  // Runs a handler body; an escaping error is shown by the error report.
  void guarded(const std::function<void()>& body);

  // ---- Shell (app/MainUnit.cpp) ----
  void Button2Click();  // creation step
  void FormDestroy();
  void N5Click();
  void SpeedButton7Click();
  void N8Click();
  void N19Click();

  // ---- Settings (app/CommUnit.cpp) ----
  void ReadSettingsAtStartup();  // the start-up read of Quorrel.ini
  void Java1Click();
  void N16Click();
  void N17Click();

  // ---- Catalogue (catalogue/) ----
  void LoadCatalogue();
  void TreeView1Change(QTreeWidgetItem* node);
  void CheckBox1Click();
  void N18Click();  // "Показать выбранные игры"
  // Shows a GIF file in GIFImage1, animated, the box taking the picture's size. Throws when it cannot.
  void ShowPicture(const std::string& path);
  // The ANSI bytes of a tree node's text.
  static std::string NodeText(const QTreeWidgetItem* node);

  // ---- Downloads and update (net/) ----
  void ConfigureHTTPGetFile();
  void DownloadFromServer(const std::string& relativePath);
  int RemoteFileSize(const std::string& url);
  int LocalFileSize(const std::string& path);
  void HTTPGetFileProgress(QObject* sender, int totalSize, int readed);
  void HTTPGetFileDoneFile(QObject* sender, const std::string& fileName, int fileSize);
  void HTTPGetFileError(QObject* sender);
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton8Click();
  // At start-up: brings back a catalogue that an interrupted update left only as its backup, and removes
  // the temporary files of downloads and unpacking that an earlier run left behind.
  void RecoverInterruptedUpdate();

  // ---- Phone (phone/) ----
  void N4Click();
  void N10Click();
  void SpeedButton6Click();
  void ShowPluginLog(const std::string& text);
  void ShowPluginProgress(const std::string& source, const std::string& target, int percent);
  void SpeedButton1Click();
  void SpeedButton10Click();
  void SpeedButton5Click();
  void Java2Click();
  void OrderJavaList(std::string& list);

  // ---- Help (dialogs/) ----
  void N3Click();
  void N14Click();

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
std::unique_ptr<TMainForm> createApplicationWindows(quorrel::Prompter* prompter);
