// TMainForm::LoadCatalogue: the loader's tables and outline brought into the window.
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <cstdio>

#include "app/MainUnit.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/ShownText.h"

namespace {

constexpr int NodeBytesRole = Qt::UserRole + 1;

QTreeWidgetItem* makeNode(const std::string& text) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, quorrel::shownLabel(quorrel::fromAnsi(text)));
  // The bytes themselves, so that nodes match their entries byte for byte whatever the code page maps.
  item->setData(0, NodeBytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  return item;
}

}  // namespace

std::string TMainForm::NodeText(const QTreeWidgetItem* node) {
  const QByteArray bytes = node->data(0, NodeBytesRole).toByteArray();
  if (bytes.isNull()) return quorrel::toAnsi(node->text(0));
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void TMainForm::LoadCatalogue() {
  const std::string dir = quorrel::currentDir();
  const std::string outlinePath = dir + "javabase.tmp";
  // A huge catalogue takes a while to read through: the window keeps painting meanwhile, but takes no input.
  // The tables and the tree change only once the whole file has been read.
  QElapsedTimer sinceTurn;
  sinceTurn.start();
  const auto keepPainting = [&sinceTurn] {
    if (sinceTurn.elapsed() < 50) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceTurn.restart();
  };
  const quorrel::CatalogueLoad r =
      quorrel::loadCatalogueFile(dir + "Javadata.xml", outlinePath, Folders, JavaBase, {}, keepPainting);

  FolderCount = r.FolderCount;
  GameCount = r.GameCount;
  if (r.versionSeen) BaseVersion = r.version;
  if (r.pictureHeight == 128 || r.pictureHeight == 160) {
    GIFImage1->resize(GIFImage1->width(), r.pictureHeight);
    Panel3->resize(Panel3->width(), r.pictureHeight + 9);
  }
  // The game on display may now sit at another index: forget it, so its mark cannot land on another game.
  CurrentGame = 0;
  CheckBox1->hide();

  std::vector<quorrel::TreeNode> nodes;
  std::string buildError;
  try {
    quorrel::buildOutlineTree(quorrel::readOutlineFile(outlinePath), nodes);
  } catch (const std::exception& e) {
    buildError = e.what();
  }

  const QSignalBlocker block(TreeView1);
  TreeView1->clear();
  std::vector<QTreeWidgetItem*> items;
  items.reserve(nodes.size());
  QList<QTreeWidgetItem*> roots;
  for (const quorrel::TreeNode& n : nodes) {
    QTreeWidgetItem* item = makeNode(n.text);
    if (n.parent < 0) {
      roots.append(item);
    } else {
      items[static_cast<size_t>(n.parent)]->addChild(item);
    }
    items.push_back(item);
  }
  TreeView1->addTopLevelItems(roots);
  // Open each model, so its folders are in view after a load.
  for (QTreeWidgetItem* root : roots) root->setExpanded(true);
  TreeView1->setCurrentItem(nullptr);

  if (r.linesCut > 0 || r.valuesCut > 0) {
    LogCommand(QStringLiteral(" Каталог: слишком длинный текст обрезан (строк: %1, значений: %2)")
                   .arg(r.linesCut)
                   .arg(r.valuesCut));
  }
  if (!buildError.empty()) throw quorrel::QuorrelError(buildError);  // the outline stays for inspection
  std::remove(outlinePath.c_str());

  if (r.foldersLeftOut > 0 || r.gamesLeftOut > 0) {
    prompter().error(QStringLiteral("Каталог не помещается в таблицы (до %1 папок и %2 игр): не загружено папок: "
                                    "%3, игр: %4")
                         .arg(quorrel::FolderCapacity)
                         .arg(quorrel::GameCapacity)
                         .arg(r.foldersLeftOut)
                         .arg(r.gamesLeftOut));
  }
}
