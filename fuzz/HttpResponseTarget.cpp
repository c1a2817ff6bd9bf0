// HTTP responses through the download component: a server on 127.0.0.1 answers every request with the
// fuzzed bytes (status line, headers, Content-Length, body, all of them damaged as it comes) and closes the
// connection. The first input byte chooses a size query or a download, text or binary. Whatever the server
// says, an answer that is not 2xx never becomes the file, a failed download leaves the previous copy whole
// and no partial file behind, and a download reported as done holds exactly the body that was sent.
#include <strings.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "FuzzSupport.h"
#include "net/HttpGet.h"

namespace {

// The reply every connection gets: the input of the running test.
std::mutex replyMutex;
std::string currentReply;

void setReply(std::string reply) {
  std::lock_guard<std::mutex> lock(replyMutex);
  currentReply = std::move(reply);
}

struct Head {
  int firstStatus = -1;   // status of the first line when it reads as "HTTP/x.y NNN"
  bool plainBody = true;  // no transfer coding and no interim answer: the body is sent as it stands
  std::size_t bodyStart = std::string::npos;
};

Head readHead(const std::string& r) {
  Head h;
  std::size_t at = 0;
  bool first = true;
  while (at < r.size()) {
    std::size_t end = r.find('\n', at);
    if (end == std::string::npos) break;
    std::string line = r.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) {
      first = false;
      if (line.rfind("HTTP/", 0) == 0) {
        const auto blank = line.find(' ');
        if (blank != std::string::npos && line.size() >= blank + 4) h.firstStatus = std::atoi(line.c_str() + blank + 1);
      }
      continue;
    }
    if (line.empty()) {
      h.bodyStart = at;
      break;
    }
    if (line.rfind("HTTP/", 0) == 0 || strncasecmp(line.c_str(), "transfer-encoding", 17) == 0 ||
        strncasecmp(line.c_str(), "content-encoding", 16) == 0)
      h.plainBody = false;
  }
  if (h.firstStatus >= 100 && h.firstStatus < 200) h.plainBody = false;
  return h;
}

fuzzsupport::LoopbackServer& server() {
  static auto* s = new fuzzsupport::LoopbackServer([](const std::string&) {
    std::lock_guard<std::mutex> lock(replyMutex);
    return currentReply;
  });
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  fuzzsupport::enterScratchFolder();
  fuzzsupport::ensureApplication();
  static HttpGet* http = new HttpGet(nullptr);
  const bool sizeQuery = data[0] & 1;
  const std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);
  setReply(reply);
  const Head head = readHead(reply);

  HttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(server().port()) + "/Base/games/game.jar";
  http->options.useProxy = ProxyMode::Direct;
  http->options.binaryData = data[0] & 2;
  http->options.waitThread = true;
  const std::string folder = fuzzsupport::scratchFolder();
  const std::string target = folder + "game.jar";
  const std::string previous = "the previous copy of the game";

  http->handlers.done = nullptr;
  http->handlers.failed = nullptr;
  if (sizeQuery) {
    const int length = http->remoteSize(request.url);
    if (length >= 0) FUZZ_CHECK(head.firstStatus < 300 || head.firstStatus < 0, "a size taken from an error answer");
    return 0;
  }

  fuzzsupport::writeBytes(target, previous);
  request.fileName = target;
  int done = 0, failed = 0, reportedSize = -1;
  http->handlers.done = [&](const std::string&, int fileSize) {
    ++done;
    reportedSize = fileSize;
  };
  http->handlers.failed = [&] { ++failed; };
  http->start(request);
  http->handlers.done = nullptr;
  http->handlers.failed = nullptr;

  FUZZ_CHECK(done + failed == 1,
             "a download ended with " + std::to_string(done) + " done and " + std::to_string(failed) + " error events");
  bool exists = false;
  const std::string now = fuzzsupport::readBytes(target, &exists);
  if (failed) {
    FUZZ_CHECK(exists && now == previous, "a failed download damaged the previous copy");
  } else {
    FUZZ_CHECK(head.firstStatus < 300, "an error answer (" + std::to_string(head.firstStatus) + ") saved as the file");
    FUZZ_CHECK(exists && static_cast<long long>(now.size()) == reportedSize,
               "the saved file's size differs from the one reported");
    if (head.plainBody && head.bodyStart != std::string::npos && head.firstStatus >= 200) {
      FUZZ_CHECK(reply.compare(head.bodyStart, now.size(), now) == 0, "the saved file is not the body that was sent");
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    FUZZ_CHECK(entry.path().filename() == "game.jar", "left behind: " + entry.path().string());
  }
  return 0;
}
