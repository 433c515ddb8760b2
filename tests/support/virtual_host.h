// The window system in virtual time: timers that tests fire by hand (ManualTimer), events queued to run at
// the next yield, notices answered at once and recorded.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/host.h"
#include "support/journal.h"

using VirtualTimer = ManualTimer;

struct ProgramEnded {};

class VirtualHost final : public HostPort {
 public:
  explicit VirtualHost(Journal& journal) : journal_(journal) {}

  // Runs the events queued so far; events they queue wait for the next yield.
  void yield() override;
  void showNotice(const std::string& text) override;
  void settingsUnreadable(const std::string& path, const std::string& reason) override {
    journal_.add("SettingsUnreadable " + path + ": " + reason);
  }
  void showChooser() override { journal_.add("ShowChooser"); }
  void showPuntBanDialog() override { journal_.add("ShowPuntBanDialog"); }
  void showAbout() override { journal_.add("ShowAbout"); }
  void openWebPage(const std::string& address) override { journal_.add("OpenWebPage " + address); }
  void settingsNote(const std::string& line) override { settingsNotes.push_back(line); }
  std::vector<std::string> settingsNotes;
  // Kept for the test to run with runLaterTasks(), in the order they came.
  void runLater(int milliseconds, std::function<void()> task) override {
    journal_.add("RunLater " + std::to_string(milliseconds));
    later_.push_back(std::move(task));
  }
  // Runs the tasks handed to runLater so far, as the event loop would once their time came.
  void runLaterTasks() {
    std::deque<std::function<void()>> due;
    due.swap(later_);
    for (auto& task : due)
      task();
  }
  // A test cannot end its own process: the end of the program is thrown instead, past every handler.
  [[noreturn]] void quit() override;

  // Queue an event (a click, another timer's tick) to run at the next yield.
  void queue(std::function<void()> event) { pending_.push_back(std::move(event)); }
  // Runs while a notice is open, as the window's event loop does behind a modal box.
  std::function<void()> whileNoticeOpen;
  // Runs at every yield, after the queued events.
  std::function<void()> duringYield;
  // Whether yields are written to the journal.
  bool recordYields = true;
  // Console sequences running now, and how many have begun.
  void consoleSequenceRunning(bool running) override {
    sequencesRunning += running ? 1 : -1;
    sequencesBegun += running ? 1 : 0;
  }
  int sequencesRunning = 0;
  int sequencesBegun = 0;

 private:
  Journal& journal_;
  std::deque<std::function<void()>> pending_;
  std::deque<std::function<void()>> later_;
};
