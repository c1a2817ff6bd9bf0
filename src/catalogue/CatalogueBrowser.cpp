// The catalogue browser: fills the details pane for the node selected in pane_.catalogueTree, keeps the user's marks
// and plays the pane's pictures.
#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBrowser.h"
#include "catalogue/MarkedGamesDialog.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/MessageLog.h"
#include "common/Paths.h"
#include "common/Prompter.h"
#include "common/ShownText.h"
#include "common/WorkingFolder.h"
#include "settings/Settings.h"

namespace quorrel {

namespace {

// The news shown is cut here, far above any real news, so that a huge file neither fills the memory nor
// stalls the window's text layout.
constexpr std::size_t MaxNewsBytes = 1024 * 1024;

// A catalogue value as a one-line field shows it.
QString label(const std::string& ansiBytes) { return shownLabel(fromAnsi(ansiBytes)); }

QString bytesText(const std::string& size) { return label(size) + QStringLiteral(" байт"); }

[[noreturn]] void throwNotGif(const std::string& path) {
  throw QuorrelError("Файл \"" + path + "\" не является картинкой GIF");
}

// Text lines as a memo loads them: CR LF, a lone LF or a lone CR ends a line; a final line break adds no line.
QString memoText(const std::string& ansiBytes) {
  QString text = fromAnsi(ansiBytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  return text;
}

// A picture is not decoded when its frames, each as large as its canvas at 4 bytes a pixel, would take more
// than this. The phones these games run on have screens of at most 240 x 320, 300 KB a frame: the bound lets
// some 870 such frames through, more than a minute of animation, and stops a file of a few kilobytes whose
// header claims a canvas of 65535 x 65535, or whose thousands of tiny frames each stand for a large canvas.
constexpr qint64 MaxPictureMemory = 256LL * 1024 * 1024;

// What a GIF's frames would take once decoded: the larger of the canvas its header gives and the first frame,
// times the frames the file holds. Read from the headers alone, before any frame is decoded.
qint64 pictureMemory(const QByteArray& gif) {
  const auto byteAt = [&gif](int i) { return static_cast<qint64>(static_cast<unsigned char>(gif.at(i))); };
  qint64 width = gif.size() >= 10 ? byteAt(6) | byteAt(7) << 8 : 0;
  qint64 height = gif.size() >= 10 ? byteAt(8) | byteAt(9) << 8 : 0;
  QBuffer probe;
  probe.setData(gif);
  probe.open(QIODevice::ReadOnly);
  QImageReader reader(&probe, "gif");
  const QSize first = reader.size();
  width = std::max<qint64>(width, first.width());
  height = std::max<qint64>(height, first.height());
  const qint64 frames = std::max(reader.imageCount(), 1);
  return width * height * 4 * frames;
}

}  // namespace

CatalogueBrowser::CatalogueBrowser(Catalogue& catalogue, const Settings& settings, Prompter& prompter, MessageLog& log,
                                   const DetailsPane& pane, std::function<bool()> phoneConnected)
    : catalogue_(catalogue),
      settings_(settings),
      prompter_(prompter),
      log_(log),
      pane_(pane),
      phoneConnected_(std::move(phoneConnected)) {}

// Writes the box's state into the mark of the game on display, if any.
void CatalogueBrowser::storeMark() { catalogue_.setMark(catalogue_.currentGame(), pane_.markGameBox->isChecked()); }

void CatalogueBrowser::hideGameButtons() {
  pane_.uploadGameButton->hide();
  pane_.downloadGameButton->hide();
  pane_.downloadScreenshotButton->hide();
}

// Shows a picture of the pane; when it cannot be shown, the box is emptied, so that the previous node's
// picture does not stand beside this node's details, and the error goes on to the report.
void CatalogueBrowser::showPaneImage(const std::string& path) {
  try {
    showPicture(path);
  } catch (...) {
    pane_.pictureBox->clear();
    delete pictureMovie_;
    pictureMovie_ = nullptr;
    throw;
  }
}

// The file a catalogue name stands for in its folder; empty, with one log line, when the name leaves the folder.
std::string CatalogueBrowser::catalogueFile(const std::string& folder, const std::string& name) {
  std::string path = pathInFolder(folder, name);
  if (path.empty()) {
    log_.logCommand(QStringLiteral(" Путь %1%2 выходит за пределы папки %1: файл не прочитан.")
                        .arg(fromAnsi(nativePath(folder)), fromAnsi(name)));
  }
  return path;
}

// ---- Selection --------------------------------------------------------------------------------------------

void CatalogueBrowser::showFolder(const std::string& text, bool own) {
  catalogue_.setCurrentGameScreen(std::string());
  hideGameButtons();
  const int index = catalogue_.lastFolderNamed(text, own);
  if (index == 0) return;
  const FolderEntry& folder = catalogue_.folder(index);
  pane_.nameLabel->setText(label(folder.name));
  pane_.sizeLabel->setText(QStringLiteral("0 байт"));
  pane_.contributorLabel->clear();
  pane_.descriptionView->setPlainText(shownLines(fromAnsi(folder.description)));
  pane_.wapLinkEdit->clear();
  // A picture name that leaves its folder counts as a missing picture.
  std::string picture = catalogueFile(workfolder::FolderPictures, folder.picture + ".gif");
  if (picture.empty() || !fileExists(picture)) picture = localPath(workfolder::FolderPictureTemplate);
  showPaneImage(picture);
}

void CatalogueBrowser::showNode(QTreeWidgetItem* node) {
  if (node == nullptr) return;  // selection emptied: nothing to show

  storeMark();  // the game leaving the pane
  pane_.markGameBox->hide();

  const std::string text = nodeText(node);
  // A node finds its entry among those of its own part of the load, so that the user's games and the main
  // catalogue's never stand for one another, whatever their names.
  const bool own = isOwnNode(node);

  if (node->childCount() > 0) {
    showFolder(text, own);
    return;
  }

  if (!own && text == newsNodeText()) {
    bool cut = false;
    const std::string news = readFileHead(localPath(workfolder::News), ReadError::CannotOpen, MaxNewsBytes, cut);
    pane_.descriptionView->setPlainText(shownLines(memoText(news)));
    if (cut) log_.logCommand(QStringLiteral(" Новости длиннее 1 МБ: показано только начало"));
    pane_.nameLabel->setText(label(text));
    pane_.sizeLabel->clear();
    hideGameButtons();
    pane_.contributorLabel->clear();
    pane_.wapLinkEdit->clear();
    showPaneImage(localPath(workfolder::NewsPicture));
    return;
  }

  const int index = catalogue_.firstGameNamed(text, own);
  if (index == 0) {
    // An empty folder or a model with nothing under it has no children but still has its entry.
    if (catalogue_.lastFolderNamed(text, own) != 0) {
      showFolder(text, own);
    } else {
      pane_.nameLabel->setText(label(text));
    }
    return;
  }

  const GameEntry& game = catalogue_.game(index);
  pane_.nameLabel->setText(label(text));
  pane_.markGameBox->show();
  catalogue_.setCurrentGame(index);
  pane_.markGameBox->setChecked(game.selected != 0);
  pane_.sizeLabel->setText(bytesText(game.size));
  catalogue_.setCurrentGameFile(game.file);
  catalogue_.setCurrentGameScreen(game.screen);
  pane_.contributorLabel->setText(label(game.owner));
  pane_.descriptionView->setPlainText(shownLines(fromAnsi(game.description)));
  pane_.wapLinkEdit->setText(shownLabel(fromAnsi(settings_.updateServer() + workfolder::Games + game.file + ".jad")));
  pane_.wapLinkEdit->setCursorPosition(0);

  // The buttons are settled before the picture, so that a picture that cannot be shown never leaves the
  // previous game's buttons beside this game.
  // Names that leave their folders are neither read nor tested: nothing could be downloaded or sent under
  // them either, so their buttons stay hidden.
  const std::string screenshot = catalogueFile(workfolder::Screenshots, game.screen);
  const bool haveScreenshot = !screenshot.empty() && fileExists(screenshot);
  pane_.downloadScreenshotButton->setVisible(!screenshot.empty() && !haveScreenshot);
  const std::string gameFile = catalogueFile(workfolder::Games, game.file + ".jad");
  if (gameFile.empty()) {
    pane_.downloadGameButton->hide();
    pane_.uploadGameButton->hide();
  } else {
    // A game with only one of its two files is incomplete: downloading fetches both again.
    const bool haveJar = fileExists(localPath(workfolder::Games + game.file + ".jar"));
    const bool haveJad = fileExists(gameFile);
    const bool haveBoth = haveJar && haveJad;
    pane_.downloadGameButton->setVisible(!haveBoth);
    pane_.uploadGameButton->setVisible(haveBoth && phoneConnected_());
  }

  showPaneImage(haveScreenshot ? screenshot : localPath(workfolder::NoScreenshot));
}

int CatalogueBrowser::ownGameOf(const QTreeWidgetItem* node) const {
  if (node == nullptr || node->childCount() > 0 || !isOwnNode(node)) return 0;
  return catalogue_.firstGameNamed(nodeText(node), true);
}

void CatalogueBrowser::markGameToggled() {
  // The mark counts from the moment it is ticked, so a batch upload sends exactly what the user sees ticked.
  if (!pane_.markGameBox->isHidden()) storeMark();
}

void CatalogueBrowser::showMarkedGames(QWidget* parent) {
  MarkedGamesDialog dialog(parent, catalogue_.games(), catalogue_.gameCount());
  dialog.exec();
}

// ---- Pictures ---------------------------------------------------------------------------------------------

// In place of a picture too large to decode: the frame's size, with a line of text.
void CatalogueBrowser::showPicturePlaceholder() {
  delete pictureMovie_;
  pictureMovie_ = nullptr;
  pane_.pictureBox->clear();
  pane_.pictureBox->setText(QStringLiteral("Картинка слишком велика"));
  pane_.pictureBox->setWordWrap(true);
  pane_.pictureBox->setGeometry(5, 5, pane_.pictureFrame->width() - 10, pane_.pictureFrame->height() - 10);
}

void CatalogueBrowser::showPicture(const std::string& path) {
  // The file is read whole: the movie plays from memory, so the file stays free for downloads to replace.
  const std::string bytes = readFileBytes(path, ReadError::CannotOpen);
  if (bytes.compare(0, 6, "GIF87a") != 0 && bytes.compare(0, 6, "GIF89a") != 0) throwNotGif(path);
  const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
  if (const qint64 need = pictureMemory(data); need > MaxPictureMemory) {
    showPicturePlaceholder();
    log_.logCommand(QStringLiteral(" Картинка %1 не показана: её кадры заняли бы %2 МБ памяти, больше %3 МБ.")
                        .arg(QString::fromStdString(path))
                        .arg(need / (1024 * 1024))
                        .arg(MaxPictureMemory / (1024 * 1024)));
    return;
  }

  // The first frame must decode; a damaged file is refused before anything on screen changes.
  QSize size;
  {
    QBuffer probe;
    probe.setData(data);
    probe.open(QIODevice::ReadOnly);
    QImageReader reader(&probe, "gif");
    size = reader.size();
    const QImage first = reader.read();
    if (first.isNull()) throwNotGif(path);
    if (size.isEmpty()) size = first.size();
  }

  auto* movie = new QMovie(pane_.pictureBox);
  auto* source = new QBuffer(movie);  // destroyed with the movie, after the movie's reader
  source->setData(data);
  source->open(QIODevice::ReadOnly);
  movie->setFormat("gif");
  movie->setDevice(source);
  if (!movie->isValid()) {
    delete movie;
    throwNotGif(path);
  }

  pane_.pictureBox->setMovie(movie);
  delete pictureMovie_;
  pictureMovie_ = movie;
  // The box takes the picture's own size; its frame pictureFrame cuts off whatever lies beyond it.
  pane_.pictureBox->setGeometry(5, 5, size.width(), size.height());
  movie->start();
}

QTreeWidgetItem* CatalogueBrowser::nextGameHolding(const QString& text, QTreeWidgetItem* from) const {
  std::vector<QTreeWidgetItem*> order;
  for (QTreeWidgetItemIterator it(pane_.catalogueTree); *it; ++it) order.push_back(*it);
  if (order.empty() || text.isEmpty()) return nullptr;
  std::size_t start = 0;
  for (std::size_t i = 0; i < order.size(); ++i)
    if (order[i] == from) start = i + 1;
  auto holds = [&](const std::string& ansi) { return fromAnsi(ansi).contains(text, Qt::CaseInsensitive); };
  for (std::size_t k = 0; k < order.size(); ++k) {
    QTreeWidgetItem* node = order[(start + k) % order.size()];
    if (node->childCount() > 0) continue;  // a folder, as the pane takes it
    const std::string name = nodeText(node);
    if (name == newsNodeText()) continue;
    const int index = catalogue_.firstGameNamed(name);
    if (index == 0) continue;
    const GameEntry& game = catalogue_.game(index);
    if (holds(game.name) || holds(game.owner) || holds(game.description)) return node;
  }
  return nullptr;
}

void CatalogueBrowser::findGame() {
  QString text = findText_;
  if (!prompter_.inputText(appTitle(), QStringLiteral("Найти игру (название, автор или описание):"), text)) return;
  findText_ = text.trimmed();
  if (findText_.isEmpty()) return;
  findNextGame();
}

void CatalogueBrowser::findNextGame() {
  // While a long command holds the tree, the selection is not the user's to move.
  if (!pane_.catalogueTree->isEnabled()) return;
  if (findText_.isEmpty()) {
    findGame();
    return;
  }
  QTreeWidgetItem* found = nextGameHolding(findText_, pane_.catalogueTree->currentItem());
  if (found == nullptr) {
    prompter_.message(QStringLiteral("Игра, в которой есть «%1», не найдена.").arg(shownLabel(findText_)));
    return;
  }
  for (QTreeWidgetItem* up = found->parent(); up; up = up->parent()) up->setExpanded(true);
  pane_.catalogueTree->setCurrentItem(found);  // the pane follows the selection
  pane_.catalogueTree->scrollToItem(found);
}

}  // namespace quorrel
