// MainWindow::loadCatalogue: the loader's tables and outline brought into the window.
#include <QCheckBox>
#include <QLabel>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <cstdio>

#include "app/MainWindow.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/Paths.h"

namespace {

constexpr int NodeBytesRole = Qt::UserRole + 1;

QTreeWidgetItem* makeNode(const std::string& text) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, quorrel::fromAnsi(text));
  // The bytes themselves, so that nodes match their entries byte for byte whatever the code page maps.
  item->setData(0, NodeBytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  return item;
}

}  // namespace

std::string MainWindow::nodeText(const QTreeWidgetItem* node) {
  const QByteArray bytes = node->data(0, NodeBytesRole).toByteArray();
  if (bytes.isNull()) return quorrel::toAnsi(node->text(0));
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void MainWindow::loadCatalogue() {
  const std::string dir = quorrel::currentDir();
  const std::string outlinePath = dir + "javabase.tmp";
  const quorrel::CatalogueLoad r = quorrel::loadCatalogueFile(dir + "Javadata.xml", outlinePath, folders, games);

  folderCount = r.folderCount;
  gameCount = r.gameCount;
  if (r.versionSeen) baseVersion = r.version;
  if (r.pictureHeight == 128 || r.pictureHeight == 160) {
    pictureBox->resize(pictureBox->width(), r.pictureHeight);
    pictureFrame->resize(pictureFrame->width(), r.pictureHeight + 9);
  }
  // The game on display may now sit at another index: forget it, so its mark cannot land on another game.
  currentGame = 0;
  markGameBox->hide();

  std::vector<quorrel::TreeNode> nodes;
  std::string buildError;
  try {
    quorrel::buildOutlineTree(quorrel::readOutlineFile(outlinePath), nodes);
  } catch (const std::exception& e) {
    buildError = e.what();
  }

  const QSignalBlocker block(catalogueTree);
  catalogueTree->clear();
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
  catalogueTree->addTopLevelItems(roots);
  // Open each model, so its folders are in view after a load.
  for (QTreeWidgetItem* root : roots) root->setExpanded(true);
  catalogueTree->setCurrentItem(nullptr);

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
