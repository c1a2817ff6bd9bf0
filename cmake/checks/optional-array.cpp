// Fills an array of optional texts, returns it by value and counts the engaged entries. GCC 12.2 at -O2 and
// above drops one of the stores (its alias analysis takes the engaged flag's store for dead), so the caller
// sees an entry as empty or reads a text that was never built. The configuration runs it (exit code 0 when
// the compiler got it right); the settings tests run it again with the flags every target is built with.
#include <array>
#include <optional>
#include <string>

namespace {

using Lines = std::array<std::optional<std::string>, 20>;

struct Values {
  std::string server;
  std::string host, port, user, password, comPort, comSpeed;
  bool autoCompile = true;
  bool manualSort = false;
};

__attribute__((noinline)) Lines texts(const Values& v) {
  auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  Lines t;
  t[1] = "[Update Server]";
  t[2] = v.server;
  t[14] = v.comPort;
  t[15] = v.comSpeed;
  t[16] = flag(v.autoCompile);
  t[19] = flag(v.manualSort);
  return t;
}

// Leaves non-zero bytes where the caller's array will stand, so a dropped store shows.
__attribute__((noinline)) void dirtyStack() {
  [[maybe_unused]] volatile char junk[4096];
  for (int i = 0; i < 4096; ++i) junk[i] = static_cast<char>(0xff);
}

__attribute__((noinline)) bool engagedEntriesKept() {
  Values v;
  v.server = "srv";
  Lines l;
  l = texts(v);
  int n = 0;
  for (const auto& o : l) n += o.has_value() ? 1 : 0;
  return n == 6 && l[2] && *l[2] == "srv";
}

}  // namespace

bool optionalArrayCompiledRight() {
  dirtyStack();
  return engagedEntriesKept();
}

#ifndef QUORREL_CHECK_NO_MAIN
int main() { return optionalArrayCompiledRight() ? 0 : 1; }
#endif
