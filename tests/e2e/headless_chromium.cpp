#include "e2e/headless_chromium.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

// How long one command may take: starting the browser or loading a page on a busy machine.
constexpr auto kPatience = 30s;

// A pipe's ends moved above the descriptors 3 and 4 that the browser takes them as.
bool highPipe(int (&ends)[2]) {
  if (::pipe2(ends, O_CLOEXEC) != 0)
    return false;
  for (int& end : ends) {
    const int high = ::fcntl(end, F_DUPFD_CLOEXEC, 10);
    ::close(end);
    end = high;
  }
  return ends[0] >= 0 && ends[1] >= 0;
}

}  // namespace

HeadlessChromium::HeadlessChromium(const std::string& program) {
  int commands[2] = {-1, -1};
  int replies[2] = {-1, -1};
  if (!highPipe(commands) || !highPipe(replies))
    return;
  std::vector<std::string> command = {program,
                                      "--headless=new",
                                      "--disable-gpu",
                                      "--no-first-run",
                                      "--no-default-browser-check",
                                      "--disable-extensions",
                                      "--disable-sync",
                                      "--disable-background-networking",
                                      "--disable-component-update",
                                      "--remote-debugging-pipe",
                                      "--user-data-dir=" + (folder_ / "profile").string(),
                                      "about:blank"};
  // Chromium's sandbox refuses to run as root.
  if (::geteuid() == 0)
    command.insert(command.begin() + 1, "--no-sandbox");
  ChildSetup setup;
  setup.environment = {{"HOME", folder_.path().string()}};
  browser_ =
      std::make_unique<ChildProcess>(command, setup, ChildDescriptors{{commands[0], 3}, {replies[1], 4}});
  ::close(commands[0]);
  ::close(replies[1]);
  commands_ = commands[1];
  replies_ = replies[0];
}

HeadlessChromium::~HeadlessChromium() {
  if (browser_ && browser_->running()) {
    send(json{{"id", ++lastId_}, {"method", "Browser.close"}}.dump());
    if (!browser_->waitForEnd(10s))
      browser_->stop();
  }
  for (const int end : {commands_, replies_}) {
    if (end >= 0)
      ::close(end);
  }
}

bool HeadlessChromium::open(const std::string& address) {
  const json target = call("Target.createTarget", {{"url", "about:blank"}}, true);
  if (!target.contains("targetId"))
    return false;
  const json attached =
      call("Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}}, true);
  if (!attached.contains("sessionId"))
    return false;
  session_ = attached["sessionId"];
  // The tab reports its errors from the first request of the page on.
  if (call("Runtime.enable", json::object()).is_null() || call("Log.enable", json::object()).is_null())
    return false;
  const json navigated = call("Page.navigate", {{"url", address}});
  if (navigated.contains("errorText"))
    problem_ = "cannot open " + address + ": " + navigated["errorText"].get<std::string>();
  return navigated.contains("frameId") && !navigated.contains("errorText");
}

json HeadlessChromium::evaluate(const std::string& expression) {
  problem_.clear();
  const json result =
      call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}});
  if (result.contains("exceptionDetails")) {
    problem_ = expression + " threw " + result["exceptionDetails"].dump();
    return nullptr;
  }
  return result.contains("result") ? result["result"].value("value", json()) : json();
}

bool HeadlessChromium::waitUntil(const std::string& expression, int seconds) {
  return pollUntil([&] { return evaluate(expression) == true; }, seconds);
}

json HeadlessChromium::call(const std::string& method, const json& params, bool toBrowser) {
  const int id = ++lastId_;
  json message = {{"id", id}, {"method", method}, {"params", params}};
  if (!toBrowser)
    message["sessionId"] = session_;
  if (!send(message.dump()))
    return nullptr;
  const Deadline deadline = std::chrono::steady_clock::now() + kPatience;
  for (json reply = next(deadline); !reply.is_null(); reply = next(deadline)) {
    if (reply.value("id", 0) == id) {
      if (reply.contains("error"))
        problem_ = method + ": " + reply["error"].dump();
      return reply.value("result", json());
    }
    takeEvent(reply);
  }
  problem_ = method + ": no answer from the browser";
  return nullptr;
}

bool HeadlessChromium::send(const std::string& message) {
  if (commands_ < 0)
    return false;
  // A browser that has ended would end this process with SIGPIPE: the signal is held back on this thread
  // for the write, and one it raised is taken before it is let through again.
  sigset_t brokenPipe;
  sigset_t before;
  sigemptyset(&brokenPipe);
  sigaddset(&brokenPipe, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &brokenPipe, &before);
  const std::string framed = message + '\0';
  std::size_t written = 0;
  while (written < framed.size()) {
    const ssize_t done = ::write(commands_, framed.data() + written, framed.size() - written);
    if (done < 0 && errno == EINTR)
      continue;
    if (done <= 0)
      break;
    written += static_cast<std::size_t>(done);
  }
  const timespec none{0, 0};
  while (::sigtimedwait(&brokenPipe, nullptr, &none) == SIGPIPE) {
  }
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return written == framed.size();
}

json HeadlessChromium::next(Deadline deadline) {
  for (;;) {
    const std::size_t end = pending_.find('\0');
    if (end != std::string::npos) {
      json message = json::parse(pending_.substr(0, end), nullptr, false);
      pending_.erase(0, end + 1);
      if (!message.is_discarded())
        return message;
      continue;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (replies_ < 0 || left <= 0ms)
      return nullptr;
    pollfd ready{replies_, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR)
      continue;
    if (polled <= 0)
      return nullptr;
    char buffer[65536];
    const ssize_t got = ::read(replies_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return nullptr;
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
}

void HeadlessChromium::takeEvent(const json& event) {
  const std::string method = event.value("method", "");
  const json params = event.value("params", json::object());
  if (method == "Runtime.exceptionThrown") {
    errors_.push_back("exception: " + params["exceptionDetails"].dump());
  } else if (method == "Log.entryAdded") {
    const json entry = params.value("entry", json::object());
    if (entry.value("level", "") == "error")
      errors_.push_back(entry.value("source", "") + ": " + entry.value("text", "") + " " +
                        entry.value("url", ""));
  }
}
