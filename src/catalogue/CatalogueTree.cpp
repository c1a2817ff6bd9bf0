// The catalogue tree: the loader's tables and outline brought into the window.
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <cstdio>
#include <filesystem>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBrowser.h"
#include "common/Ansi.h"
#include "common/Errors.h"
#include "common/MessageLog.h"
#include "common/PaintTurns.h"
#include "common/Paths.h"
#include "common/Prompter.h"
#include "common/ShownText.h"

namespace quorrel {

namespace {

constexpr int NodeBytesRole = Qt::UserRole + 1;
constexpr int OwnNodeRole = Qt::UserRole + 2;  // set on the nodes of the user's own catalogue

QTreeWidgetItem* makeNode(const std::string& text) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, shownLabel(fromAnsi(text)));
  // The bytes themselves, so that nodes match their entries byte for byte whatever the code page maps.
  item->setData(0, NodeBytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  return item;
}

}  // namespace

std::string CatalogueBrowser::nodeText(const QTreeWidgetItem* node) {
  const QByteArray bytes = node->data(0, NodeBytesRole).toByteArray();
  if (bytes.isNull()) return toAnsi(node->text(0));
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool CatalogueBrowser::isOwnNode(const QTreeWidgetItem* node) {
  return node != nullptr && node->data(0, OwnNodeRole).toBool();
}

void CatalogueBrowser::loadCatalogue() {
  const std::string dir = currentDir();
  const std::string outlinePath = dir + "javabase.tmp";
  // A huge catalogue takes a while to read through: the window keeps painting meanwhile, but takes no input.
  // The tables and the tree change only once the whole file has been read. The load also forgets the game on
  // display, so its mark cannot land on another game.
  PaintTurns keepPainting;
  // The user's own catalogue is read when it is there at all (a folder or a link there is reported, not
  // taken for no catalogue).
  const std::string ownPath = dir + OwnCatalogueFileName;
  std::error_code ec;
  const bool haveOwn = std::filesystem::symlink_status(ownPath, ec).type() != std::filesystem::file_type::not_found;
  const CatalogueLoad r = catalogue_.load(dir + "Javadata.xml", outlinePath, keepPainting, haveOwn ? ownPath : "");
  if (r.pictureHeight == 128 || r.pictureHeight == 160) {
    pane_.pictureBox->resize(pane_.pictureBox->width(), r.pictureHeight);
    pane_.pictureFrame->resize(pane_.pictureFrame->width(), r.pictureHeight + 9);
  }
  pane_.markGameBox->hide();

  std::vector<TreeNode> nodes;
  std::string buildError;
  try {
    buildOutlineTree(readOutlineFile(outlinePath), nodes);
  } catch (const std::exception& e) {
    buildError = e.what();
  }

  QTreeWidget* tree = pane_.catalogueTree;
  const QSignalBlocker block(tree);
  tree->clear();
  std::vector<QTreeWidgetItem*> items;
  items.reserve(nodes.size());
  QList<QTreeWidgetItem*> roots;
  // The own catalogue's nodes run from its first outline line to the one before the news entry.
  const int lastOwn = static_cast<int>(nodes.size()) - 2;
  for (const TreeNode& n : nodes) {
    QTreeWidgetItem* item = makeNode(n.text);
    const int at = static_cast<int>(items.size());
    if (r.ownFirstNode >= 0 && at >= r.ownFirstNode && at <= lastOwn) item->setData(0, OwnNodeRole, true);
    if (n.parent < 0) {
      roots.append(item);
    } else {
      items[static_cast<size_t>(n.parent)]->addChild(item);
    }
    items.push_back(item);
  }
  tree->addTopLevelItems(roots);
  // Open each model, so its folders are in view after a load.
  for (QTreeWidgetItem* root : roots) root->setExpanded(true);
  tree->setCurrentItem(nullptr);

  if (r.linesCut > 0 || r.valuesCut > 0) {
    log_.logCommand(QStringLiteral(" Каталог: слишком длинный текст обрезан (строк: %1, значений: %2)")
                        .arg(r.linesCut)
                        .arg(r.valuesCut));
  }
  if (!buildError.empty()) throw QuorrelError(buildError);  // the outline stays for inspection
  std::remove(outlinePath.c_str());

  if (!r.ownError.empty()) {
    prompter_.error(QStringLiteral("Мои игры (%1) не загружены: %2")
                        .arg(QString::fromUtf8(OwnCatalogueFileName), QString::fromStdString(r.ownError)));
  }
  if (r.foldersLeftOut > 0 || r.gamesLeftOut > 0) {
    prompter_.error(QStringLiteral("Каталог не помещается в таблицы (до %1 папок и %2 игр): не загружено папок: "
                                   "%3, игр: %4")
                        .arg(FolderCapacity)
                        .arg(GameCapacity)
                        .arg(r.foldersLeftOut)
                        .arg(r.gamesLeftOut));
  }
}

}  // namespace quorrel
