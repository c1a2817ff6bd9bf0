// The catalogue browser: fills the details pane for the node selected in TreeView1, keeps the user's marks
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

#include "app/MainUnit.h"
#include "catalogue/MarkedGamesForm.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/FileIO.h"
#include "common/Paths.h"
#include "common/ShownText.h"

namespace {

// The news shown is cut here, far above any real news, so that a huge file neither fills the memory nor
// stalls the window's text layout.
constexpr std::size_t MaxNewsBytes = 1024 * 1024;

const QString& notConnectedText() {
  static const QString text = QStringLiteral("Соединение не установлено");
  return text;
}

// A catalogue value as a one-line field shows it.
QString label(const std::string& ansiBytes) { return quorrel::shownLabel(quorrel::fromAnsi(ansiBytes)); }

QString bytesText(const std::string& size) { return label(size) + QStringLiteral(" байт"); }

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
int firstGameNamed(const TMainForm& form, const std::string& name) {
  const int count = std::min(form.GameCount, quorrel::GameCapacity);
  for (int i = 1; i <= count; ++i) {
    if (form.JavaBase[static_cast<size_t>(i)].Name == name) return i;
  }
  return 0;
}

// With several entries of the same name the later one is what the pane shows.
int lastFolderNamed(const TMainForm& form, const std::string& name) {
  const int count = std::min(form.FolderCount, quorrel::FolderCapacity);
  for (int i = count; i >= 1; --i) {
    if (form.Folders[static_cast<size_t>(i)].Name == name) return i;
  }
  return 0;
}

// Writes the box's state into the mark of the game on display, if any.
void storeMark(TMainForm& form) {
  if (form.CurrentGame >= 1 && form.CurrentGame <= std::min(form.GameCount, quorrel::GameCapacity)) {
    form.JavaBase[static_cast<size_t>(form.CurrentGame)].Selected = form.CheckBox1->isChecked() ? 1 : 0;
  }
}

void hideGameButtons(TMainForm& form) {
  form.SpeedButton1->hide();
  form.SpeedButton2->hide();
  form.SpeedButton3->hide();
}

// Shows a picture of the pane; when it cannot be shown, the box is emptied, so that the previous node's
// picture does not stand beside this node's details, and the error goes on to the report.
void showPaneImage(TMainForm& form, const std::string& path) {
  try {
    form.ShowPicture(path);
  } catch (...) {
    form.GIFImage1->clear();
    delete form.GIFMovie;
    form.GIFMovie = nullptr;
    throw;
  }
}

}  // namespace

// ---- Selection --------------------------------------------------------------------------------------------

void TMainForm::TreeView1Change(QTreeWidgetItem* node) {
  if (node == nullptr) return;  // selection emptied: nothing to show

  storeMark(*this);  // the game leaving the pane
  CheckBox1->hide();

  const std::string text = NodeText(node);

  auto showFolder = [this, &text] {
    CurrentGameScreen.clear();
    hideGameButtons(*this);
    const int index = lastFolderNamed(*this, text);
    if (index == 0) return;
    const quorrel::TFolderItem& folder = Folders[static_cast<size_t>(index)];
    Label2->setText(label(folder.Name));
    Label4->setText(QStringLiteral("0 байт"));
    Label8->clear();
    Memo1->setPlainText(quorrel::shownLines(quorrel::fromAnsi(folder.Desc)));
    Memo2->clear();
    std::string picture = quorrel::localPath("Base\\dir\\" + folder.Pic + ".gif");
    if (!quorrel::fileExists(picture)) picture = quorrel::localPath("Base\\dir\\template.gif");
    showPaneImage(*this, picture);
  };

  if (node->childCount() > 0) {
    showFolder();
    return;
  }

  if (text == quorrel::newsNodeText()) {
    bool cut = false;
    const std::string news =
        quorrel::readFileHead(quorrel::localPath("Base\\news.new"), quorrel::ReadError::CannotOpen, MaxNewsBytes, cut);
    Memo1->setPlainText(quorrel::shownLines(memoText(news)));
    if (cut) LogCommand(QStringLiteral(" Новости длиннее 1 МБ: показано только начало"));
    Label2->setText(label(text));
    Label4->clear();
    hideGameButtons(*this);
    Label8->clear();
    Memo2->clear();
    showPaneImage(*this, quorrel::localPath("Base\\dir\\news.gif"));
    return;
  }

  const int index = firstGameNamed(*this, text);
  if (index == 0) {
    // An empty folder or a model with nothing under it has no children but still has its entry.
    if (lastFolderNamed(*this, text) != 0) {
      showFolder();
    } else {
      Label2->setText(label(text));
    }
    return;
  }

  const quorrel::TJavaBaseItem& game = JavaBase[static_cast<size_t>(index)];
  Label2->setText(label(text));
  CheckBox1->show();
  CurrentGame = index;
  CheckBox1->setChecked(game.Selected != 0);
  Label4->setText(bytesText(game.Size));
  CurrentGameFile = game.File;
  CurrentGameScreen = game.Screen;
  Label8->setText(label(game.Owner));
  Memo1->setPlainText(quorrel::shownLines(quorrel::fromAnsi(game.Desc)));
  Memo2->setText(quorrel::shownLabel(quorrel::fromAnsi(UpdateServer + "Base/games/" + game.File + ".jad")));
  Memo2->setCursorPosition(0);

  // The buttons are settled before the picture, so that a picture that cannot be shown never leaves the
  // previous game's buttons beside this game.
  const std::string screenshot = quorrel::localPath("Base\\screen\\" + game.Screen);
  const bool haveScreenshot = quorrel::fileExists(screenshot);
  SpeedButton3->setVisible(!haveScreenshot);
  // A game with only one of its two files is incomplete: downloading fetches both again.
  const bool haveJar = quorrel::fileExists(quorrel::localPath("Base\\games\\" + game.File + ".jar"));
  const bool haveJad = quorrel::fileExists(quorrel::localPath("Base\\games\\" + game.File + ".jad"));
  const bool haveBoth = haveJar && haveJad;
  SpeedButton2->setVisible(!haveBoth);
  SpeedButton1->setVisible(haveBoth && StatusBar1->panelText(0) != notConnectedText());

  showPaneImage(*this, haveScreenshot ? screenshot : quorrel::localPath("Base\\screen\\noscr.gif"));
}

void TMainForm::CheckBox1Click() {
  // The mark counts from the moment it is ticked, so a batch upload sends exactly what the user sees ticked.
  if (!CheckBox1->isHidden()) storeMark(*this);
}

void TMainForm::N18Click() {
  TMarkedGamesForm form(this, JavaBase, GameCount);
  form.exec();
}

// ---- Pictures ---------------------------------------------------------------------------------------------

void TMainForm::ShowPicture(const std::string& path) {
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

  auto* movie = new QMovie(GIFImage1);
  auto* source = new QBuffer(movie);  // destroyed with the movie, after the movie's reader
  source->setData(data);
  source->open(QIODevice::ReadOnly);
  movie->setFormat("gif");
  movie->setDevice(source);
  if (!movie->isValid()) {
    delete movie;
    throwNotGif(path);
  }

  GIFImage1->setMovie(movie);
  delete GIFMovie;
  GIFMovie = movie;
  // The box takes the picture's own size; its frame Panel3 cuts off whatever lies beyond it.
  GIFImage1->setGeometry(5, 5, size.width(), size.height());
  movie->start();
}
