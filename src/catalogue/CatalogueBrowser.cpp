// The catalogue browser: fills the details pane for the node selected in catalogueTree, keeps the user's marks
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
#include <QTreeWidgetItem>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "app/MainWindow.h"
#include "catalogue/MarkedGamesDialog.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/Paths.h"

namespace {

const QString& notConnectedText() {
  static const QString text = QStringLiteral("Соединение не установлено");
  return text;
}

QString bytesText(const std::string& size) { return quorrel::fromAnsi(size) + QStringLiteral(" байт"); }

[[noreturn]] void throwNotGif(const std::string& path) {
  throw quorrel::QuorrelError("Файл \"" + path + "\" не является картинкой GIF");
}

// Text lines as a memo loads them: CR LF, a lone LF or a lone CR ends a line; a final line break adds no line.
QString memoText(const std::string& ansiBytes) {
  QString text = quorrel::fromAnsi(ansiBytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  return text;
}

// Lookups look only at the entries of the current load: entries above the counts are leftovers of an
// earlier, larger catalogue and must not match a node.
int firstGameNamed(const MainWindow& form, const std::string& name) {
  const int count = std::min(form.gameCount, quorrel::GameCapacity);
  for (int i = 1; i <= count; ++i) {
    if (form.games[static_cast<size_t>(i)].Name == name) return i;
  }
  return 0;
}

// With several entries of the same name the later one is what the pane shows.
int lastFolderNamed(const MainWindow& form, const std::string& name) {
  const int count = std::min(form.folderCount, quorrel::FolderCapacity);
  for (int i = count; i >= 1; --i) {
    if (form.folders[static_cast<size_t>(i)].Name == name) return i;
  }
  return 0;
}

// Writes the box's state into the mark of the game on display, if any.
void storeMark(MainWindow& form) {
  if (form.currentGame >= 1 && form.currentGame <= std::min(form.gameCount, quorrel::GameCapacity)) {
    form.games[static_cast<size_t>(form.currentGame)].Selected = form.markGameBox->isChecked() ? 1 : 0;
  }
}

void hideGameButtons(MainWindow& form) {
  form.uploadGameButton->hide();
  form.downloadGameButton->hide();
  form.downloadScreenshotButton->hide();
}

// Shows a picture of the pane; when it cannot be shown, the box is emptied, so that the previous node's
// picture does not stand beside this node's details, and the error goes on to the report.
void showPaneImage(MainWindow& form, const std::string& path) {
  try {
    form.showPicture(path);
  } catch (...) {
    form.pictureBox->clear();
    delete form.pictureMovie;
    form.pictureMovie = nullptr;
    throw;
  }
}

}  // namespace

// ---- Selection --------------------------------------------------------------------------------------------

void MainWindow::showNode(QTreeWidgetItem* node) {
  if (node == nullptr) return;  // selection emptied: nothing to show

  storeMark(*this);  // the game leaving the pane
  markGameBox->hide();

  const std::string text = nodeText(node);

  auto showFolder = [this, &text] {
    currentGameScreen.clear();
    hideGameButtons(*this);
    const int index = lastFolderNamed(*this, text);
    if (index == 0) return;
    const quorrel::FolderEntry& folder = folders[static_cast<size_t>(index)];
    nameLabel->setText(quorrel::fromAnsi(folder.Name));
    sizeLabel->setText(QStringLiteral("0 байт"));
    contributorLabel->clear();
    descriptionView->setPlainText(quorrel::fromAnsi(folder.Desc));
    wapLinkEdit->clear();
    std::string picture = quorrel::localPath("Base\\dir\\" + folder.Pic + ".gif");
    if (!quorrel::fileExists(picture)) picture = quorrel::localPath("Base\\dir\\template.gif");
    showPaneImage(*this, picture);
  };

  if (node->childCount() > 0) {
    showFolder();
    return;
  }

  if (text == quorrel::newsNodeText()) {
    descriptionView->setPlainText(
        memoText(quorrel::readFileBytes(quorrel::localPath("Base\\news.new"), quorrel::ReadError::CannotOpen)));
    nameLabel->setText(quorrel::fromAnsi(text));
    sizeLabel->clear();
    hideGameButtons(*this);
    contributorLabel->clear();
    wapLinkEdit->clear();
    showPaneImage(*this, quorrel::localPath("Base\\dir\\news.gif"));
    return;
  }

  const int index = firstGameNamed(*this, text);
  if (index == 0) {
    // An empty folder or a model with nothing under it has no children but still has its entry.
    if (lastFolderNamed(*this, text) != 0) {
      showFolder();
    } else {
      nameLabel->setText(quorrel::fromAnsi(text));
    }
    return;
  }

  const quorrel::GameEntry& game = games[static_cast<size_t>(index)];
  nameLabel->setText(quorrel::fromAnsi(text));
  markGameBox->show();
  currentGame = index;
  markGameBox->setChecked(game.Selected != 0);
  sizeLabel->setText(bytesText(game.Size));
  currentGameFile = game.File;
  currentGameScreen = game.Screen;
  contributorLabel->setText(quorrel::fromAnsi(game.Owner));
  descriptionView->setPlainText(quorrel::fromAnsi(game.Desc));
  wapLinkEdit->setText(quorrel::fromAnsi(updateServer + "Base/games/" + game.File + ".jad"));
  wapLinkEdit->setCursorPosition(0);

  // The buttons are settled before the picture, so that a picture that cannot be shown never leaves the
  // previous game's buttons beside this game.
  const std::string screenshot = quorrel::localPath("Base\\screen\\" + game.Screen);
  const bool haveScreenshot = quorrel::fileExists(screenshot);
  downloadScreenshotButton->setVisible(!haveScreenshot);
  // A game with only one of its two files is incomplete: downloading fetches both again.
  const bool haveJar = quorrel::fileExists(quorrel::localPath("Base\\games\\" + game.File + ".jar"));
  const bool haveJad = quorrel::fileExists(quorrel::localPath("Base\\games\\" + game.File + ".jad"));
  const bool haveBoth = haveJar && haveJad;
  downloadGameButton->setVisible(!haveBoth);
  uploadGameButton->setVisible(haveBoth && statusPanels->panelText(0) != notConnectedText());

  showPaneImage(*this, haveScreenshot ? screenshot : quorrel::localPath("Base\\screen\\noscr.gif"));
}

void MainWindow::markGameToggled() {
  // The mark counts from the moment it is ticked, so a batch upload sends exactly what the user sees ticked.
  if (!markGameBox->isHidden()) storeMark(*this);
}

void MainWindow::showMarkedGames() {
  MarkedGamesDialog form(this, games, gameCount);
  form.exec();
}

// ---- Pictures ---------------------------------------------------------------------------------------------

void MainWindow::showPicture(const std::string& path) {
  // The file is read whole: the movie plays from memory, so the file stays free for downloads to replace.
  const std::string bytes = quorrel::readFileBytes(path, quorrel::ReadError::CannotOpen);
  if (bytes.compare(0, 6, "GIF87a") != 0 && bytes.compare(0, 6, "GIF89a") != 0) throwNotGif(path);
  const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));

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

  auto* movie = new QMovie(pictureBox);
  auto* source = new QBuffer(movie);  // destroyed with the movie, after the movie's reader
  source->setData(data);
  source->open(QIODevice::ReadOnly);
  movie->setFormat("gif");
  movie->setDevice(source);
  if (!movie->isValid()) {
    delete movie;
    throwNotGif(path);
  }

  pictureBox->setMovie(movie);
  delete pictureMovie;
  pictureMovie = movie;
  // The box takes the picture's own size; its frame pictureFrame cuts off whatever lies beyond it.
  pictureBox->setGeometry(5, 5, size.width(), size.height());
  movie->start();
}
