#pragma once
// The catalogue browser: builds the catalogue tree from a load, fills the details pane for the node the user
// selects, keeps the user's marks and plays the pane's pictures. It works on widgets the window hands it.
#include <QString>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMovie;
class QPlainTextEdit;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace quorrel {

class Catalogue;
class MessageLog;
class Prompter;
class Settings;

// The widgets of the tree and the details pane.
struct DetailsPane {
  QTreeWidget* catalogueTree = nullptr;
  QWidget* pictureFrame = nullptr;  // frames pictureBox and cuts off what lies beyond it
  QLabel* pictureBox = nullptr;
  QLabel* nameLabel = nullptr;
  QLabel* sizeLabel = nullptr;
  QLabel* contributorLabel = nullptr;
  QPlainTextEdit* descriptionView = nullptr;
  QLineEdit* wapLinkEdit = nullptr;
  QCheckBox* markGameBox = nullptr;
  QToolButton* uploadGameButton = nullptr;
  QToolButton* downloadGameButton = nullptr;
  QToolButton* downloadScreenshotButton = nullptr;
};

class CatalogueBrowser {
 public:
  // `phoneConnected` tells whether a phone is connected (the upload button shows only then). Everything
  // handed in must outlive the browser.
  CatalogueBrowser(Catalogue& catalogue, const Settings& settings, Prompter& prompter, MessageLog& log,
                   const DetailsPane& pane, std::function<bool()> phoneConnected);
  CatalogueBrowser(const CatalogueBrowser&) = delete;
  CatalogueBrowser& operator=(const CatalogueBrowser&) = delete;

  // Loads "Javadata.xml" of the working folder and rebuilds the tree from its outline.
  void loadCatalogue();
  // Shows the node's folder, game or the news in the details pane.
  void showNode(QTreeWidgetItem* node);
  // "Выбрать игру" ticked or unticked: the game on display takes the mark at once.
  void markGameToggled();
  // "Показать выбранные игры".
  void showMarkedGames(QWidget* parent);
  // Shows a GIF file in the picture box, animated, the box taking the picture's size. Throws when it cannot.
  void showPicture(const std::string& path);
  // The animation playing in the picture box, if any.
  QMovie* pictureMovie() const { return pictureMovie_; }

  // "Найти игру...": asks for a text (the last one offered again) and shows the next game after the selected
  // node whose name, contributor or description holds it, case aside; says so when none does.
  void findGame();
  // The next game holding the text last asked for; asks first when nothing was asked yet.
  void findNextGame();
  // The game node after `from` in the tree's order (from the top when null), round to `from` itself, whose
  // game holds `text`; null when none does.
  QTreeWidgetItem* nextGameHolding(const QString& text, QTreeWidgetItem* from) const;

  // The ANSI bytes of a tree node's text.
  static std::string nodeText(const QTreeWidgetItem* node);
  // Whether the node belongs to the user's own catalogue (its root or anything below it).
  static bool isOwnNode(const QTreeWidgetItem* node);
  // The table index of the game a node of the user's own catalogue shows; 0 for any other node.
  int ownGameOf(const QTreeWidgetItem* node) const;

 private:
  void storeMark();
  void hideGameButtons();
  void showPaneImage(const std::string& path);
  void showFolder(const std::string& text, bool own);
  void showPicturePlaceholder();
  std::string catalogueFile(const std::string& folder, const std::string& name);

  Catalogue& catalogue_;
  const Settings& settings_;
  Prompter& prompter_;
  MessageLog& log_;
  DetailsPane pane_;
  std::function<bool()> phoneConnected_;
  QMovie* pictureMovie_ = nullptr;
  QString findText_;  // what "Найти игру..." was last given
};

}  // namespace quorrel
