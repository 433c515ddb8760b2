// Headless Chromium driven by a test through its DevTools pipe (--remote-debugging-pipe: JSON messages,
// each ended by a NUL, on the browser's descriptors 3 and 4): one tab, JavaScript run in it, and the errors
// the tab reported. A pipe needs no port and no WebSocket, and it closes when either side ends.
#pragma once

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"

class HeadlessChromium {
 public:
  // Starts `program` with a profile of its own in a temporary folder, and nothing fetched but what a tab
  // asks for.
  explicit HeadlessChromium(const std::string& program);
  // Closes the browser and waits for it.
  ~HeadlessChromium();
  HeadlessChromium(const HeadlessChromium&) = delete;
  HeadlessChromium& operator=(const HeadlessChromium&) = delete;

  // Opens a tab on `address` and takes it as the tab the calls below work in; false when that failed.
  bool open(const std::string& address);
  // The value of `expression` run in the tab (a promise is awaited), or null when it threw or the browser
  // did not answer in time (see problem()).
  nlohmann::json evaluate(const std::string& expression);
  // Whether `expression` comes out true within `seconds`.
  bool waitUntil(const std::string& expression, int seconds);

  // What the tab reported as going wrong: uncaught exceptions, and error entries of its log (resources
  // refused by the Content-Security-Policy, failed requests, ...), one line each.
  const std::vector<std::string>& errors() const { return errors_; }
  // What went wrong last in driving the browser, and the browser's own output, for a failure message.
  std::string problem() const { return problem_ + "\n" + (browser_ ? browser_->output() : std::string()); }

 private:
  using Deadline = std::chrono::steady_clock::time_point;
  // Sends a command (to the tab's session unless `toBrowser`) and returns its reply's "result", or null on
  // an error reply or none in time. The events that come meanwhile are taken in.
  nlohmann::json call(const std::string& method, const nlohmann::json& params, bool toBrowser = false);
  bool send(const std::string& message);
  // The next message, or null when the browser closed the pipe or `deadline` passed.
  nlohmann::json next(Deadline deadline);
  void takeEvent(const nlohmann::json& event);

  TempFolder folder_;
  std::unique_ptr<ChildProcess> browser_;
  int commands_ = -1;  // the browser reads it
  int replies_ = -1;   // the browser writes it
  std::string pending_;
  int lastId_ = 0;
  std::string session_;
  std::vector<std::string> errors_;
  std::string problem_;
};
