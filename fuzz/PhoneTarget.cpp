// What a phone sends back, through the main window's connect and Java compilation commands and the plugin
// binding: the replies to the three AT commands, the entries of the phone's Java folder and the phone's Java
// list, all taken from the input by a plugin loaded with dlopen as the application loads sghfs.wfx. The
// status bar must show each reply's body as the reply split defines it; the list written back must hold the
// same entries, each followed by CR LF, or, when they no longer fit a plugin buffer, not be written at all.
#include <dlfcn.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <algorithm>
#include <cstring>

#include "FuzzSupport.h"
#include "app/MainWindow.h"
#include "app/StatusPanels.h"
#include "common/Ansi.h"
#include "common/Paths.h"
#include "common/ShownText.h"
#include "phone/JavaList.h"
#include "phone/PluginBinding.h"
#include "settings/Settings.h"

namespace {

using SetText = void (*)(const char*, std::size_t);
using SetEntries = void (*)(const SghfsFindData*, std::size_t);
using WrittenList = const std::string* (*)();

SetText setReply = nullptr;
SetText setList = nullptr;
SetEntries setEntries = nullptr;
WrittenList writtenList = nullptr;

bool isBreak(char c) { return c == '\r' || c == '\n'; }
bool isBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The body of a reply as the phone's plugin leaves it in a 65536-byte buffer: up to the first NUL, without
// the last line, trimmed.
std::string expectedBody(const std::string& sent) {
  std::string reply = sent.substr(0, std::min<std::size_t>(sent.size(), SGHFS_MAX_TEXT));
  reply.resize(::strnlen(reply.c_str(), reply.size()));
  std::size_t n = reply.size();
  while (n > 0 && isBreak(reply[n - 1])) --n;
  while (n > 0 && !isBreak(reply[n - 1])) --n;
  return trim(reply.substr(0, n));
}

void loadFuzzPlugin() {
  const std::string path = quorrel::executableDir() + "fuzzplugin/sghfs.wfx";
  if (!PluginBinding::load(path)) fuzzsupport::fail("cannot load " + path);
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!h) fuzzsupport::fail("the fuzz plugin is not loaded");
  setReply = reinterpret_cast<SetText>(::dlsym(h, "FuzzPluginSetReply"));
  setList = reinterpret_cast<SetText>(::dlsym(h, "FuzzPluginSetList"));
  setEntries = reinterpret_cast<SetEntries>(::dlsym(h, "FuzzPluginSetEntries"));
  writtenList = reinterpret_cast<WrittenList>(::dlsym(h, "FuzzPluginWrittenList"));
  ::dlclose(h);  // the binding holds its own reference
  if (!setReply || !setList || !setEntries || !writtenList) fuzzsupport::fail("the fuzz plugin lacks its controls");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MainWindow& window = fuzzsupport::mainWindow();
  loadFuzzPlugin();
  window.settings().setComPort("COM3");
  window.settings().setComSpeed(115200);
  window.settings().setSortMarks(true, false);  // alphabetical: the manual dialog would wait for a user
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MainWindow& window = fuzzsupport::mainWindow();
  FuzzedDataProvider in(data, size);

  std::string replies[3];
  for (std::string& r : replies) r = in.ConsumeRandomLengthString(4096);
  std::vector<SghfsFindData> entries(in.ConsumeIntegralInRange<std::size_t>(0, 8));
  for (SghfsFindData& e : entries) {
    const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(sizeof e);
    if (!bytes.empty()) std::memcpy(&e, bytes.data(), bytes.size());
  }
  // A short piece of list repeated, so that lists near the buffer's size are reached from small inputs; now
  // and then only, since ordering a list of thousands of entries takes a while.
  const bool big = in.ConsumeIntegral<std::uint8_t>() < 16;
  const std::size_t repeat =
      big ? in.ConsumeIntegralInRange<std::size_t>(1, 65535) : in.ConsumeIntegralInRange<std::size_t>(1, 4);
  const std::string piece = in.ConsumeRemainingBytesAsString();
  std::string list;
  for (std::size_t i = 0; i < repeat && list.size() < SGHFS_BUFFER_SIZE + 4096; ++i) list += piece;

  setEntries(entries.data(), entries.size());
  setList(list.data(), list.size());

  // The plugin answers every command alike, so the connect is run once per reply; panel 1, 2 and 3 show the
  // manufacturer, the model and the serial number,
  // each as a one-line field shows it.
  for (int command = 0; command < 3; ++command) {
    setReply(replies[command].data(), replies[command].size());
    window.guarded([&] { window.phone().connectPhone(); });
    const QString shown = window.statusText(quorrel::PhonePanels[command]);
    FUZZ_CHECK(shown == quorrel::shownLabel(quorrel::fromAnsi(expectedBody(replies[command]))),
               "panel " + std::to_string(1 + command) + " does not show the reply's body");
  }
  FUZZ_CHECK(window.findChild<QListWidget*>(QStringLiteral("phoneList"))->count() == static_cast<int>(entries.size()),
             "the phone list lost entries");

  window.guarded([&] { window.phone().compileJava(); });
  std::string sent = list.substr(0, std::min<std::size_t>(list.size(), SGHFS_MAX_TEXT));
  std::vector<std::string> expected = quorrel::splitJavaList(sent);
  const std::string* written = writtenList();
  const std::size_t joined = quorrel::joinJavaList(expected).size();
  if (joined > SGHFS_MAX_TEXT) {
    FUZZ_CHECK(written == nullptr, "a list longer than the buffer was written back");
  } else {
    FUZZ_CHECK(written != nullptr, "the ordered list was not written back");
    FUZZ_CHECK(written->size() == joined, "the list written back has another length");
    std::vector<std::string> got = quorrel::splitJavaList(*written);
    FUZZ_CHECK(joined == 0 || (written->size() >= 2 && written->compare(written->size() - 2, 2, "\r\n") == 0),
               "the last entry is not followed by CR LF");
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    FUZZ_CHECK(got == expected, "the list written back is not a reordering of the phone's list");
  }
  window.guarded([&] { window.phone().disconnectPhone(); });
  window.clearLog();
  fuzzsupport::windowPrompter().asked.clear();
  return 0;
}
