// The outline file "javabase.tmp" read back and turned into tree nodes. The loader writes it, but any text
// may stand in it (a name that begins with blanks reads as extra depth), so the tree builder gets all kinds.
#include "FuzzSupport.h"
#include "catalogue/Catalogue.h"
#include "common/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::enterScratchFolder();
  fuzzsupport::writeBytes("javabase.tmp", data, size);
  const std::vector<std::string> lines = quorrel::readOutlineFile("javabase.tmp");

  std::vector<quorrel::TreeNode> nodes;
  bool failed = false;
  try {
    quorrel::buildOutlineTree(lines, nodes);
  } catch (const quorrel::QuorrelError& e) {
    failed = true;
    FUZZ_CHECK(std::string(e.what()).rfind("Invalid level (", 0) == 0, std::string("unexpected error: ") + e.what());
  }
  FUZZ_CHECK(failed ? nodes.size() < lines.size() : nodes.size() == lines.size(), "node count does not match");

  // Parents come before their children, and a node's depth is one more than its parent's.
  std::vector<int> depth(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const int parent = nodes[i].parent;
    FUZZ_CHECK(parent >= -1 && parent < static_cast<int>(i), "parent index out of order");
    depth[i] = parent < 0 ? 0 : depth[static_cast<std::size_t>(parent)] + 1;
    FUZZ_CHECK(lines[i].size() >= nodes[i].text.size(), "node text longer than its line");
    FUZZ_CHECK(lines[i].compare(lines[i].size() - nodes[i].text.size(), std::string::npos, nodes[i].text) == 0,
               "node text is not the end of its line");
  }
  return 0;
}
