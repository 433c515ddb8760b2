// The host of the service without a window, whatever event loop it runs on: notices written to a log
// stream once each, a stop that waits for the console sequence in progress, the settings reloaded on
// request, and an end with a status that a service manager can act on. The Qt service on Linux and the
// console program on Windows each put their event loop and their way of being told to stop around it.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

#include "app/host.h"
#include "app/program_end.h"

class frmmain;

// The exit status when the settings cannot run the service: the file cannot be read, or it still asks for
// the game version chooser, which needs the window.
inline constexpr int kExitUnusableSettings = 2;
// How long a stop waits at most for the console sequence in progress.
inline constexpr std::chrono::milliseconds kStopBound{5000};

// What the service asks of the event loop it runs on.
class EventLoopPort {
 public:
  virtual ~EventLoopPort() = default;
  // Handles the events already waiting (timer ticks, a stop request), then returns.
  virtual void processEvents() = 0;
  // Runs `task` from the event loop once `delay` has passed (at once for 0), not from inside this call.
  virtual void runLater(std::chrono::milliseconds delay, std::function<void()> task) = 0;
};

class ServiceHost final : public HostPort {
 public:
  // `stopBound` is how long a stop waits at most for a running console sequence to finish.
  ServiceHost(std::filesystem::path settingsPath, EventLoopPort& loop, ProgramEnd& end, std::ostream& log,
              std::chrono::milliseconds stopBound = kStopBound);

  // The window the host serves, for the reloads; set once, before the first activation.
  void serve(frmmain& core) { core_ = &core; }

  // The first activation sequence: settings that cannot be read end the service here, and only here.
  void start();
  // The activation sequence again, with the settings as they are now.
  void reload();
  // Ends the service for `reason` ("signal 15", "Ctrl+C"), at once or, in the middle of a console
  // sequence, once the sequence is over but no later than the stop bound.
  void stop(const std::string& reason);

  void yield() override;
  // Written to the log once; the same notice again, as a failing attach gives on every tick, is not
  // repeated until a different one has come in between.
  void showNotice(const std::string& text) override;
  // At start the service ends, as it has no settings to run on; after a reload it says so and runs on
  // with the settings it has.
  void settingsUnreadable(const std::string& path, const std::string& reason) override;
  // The chooser needs the window: the service ends, naming the settings to set.
  void showChooser() override;
  void showPuntBanDialog() override {}
  void showAbout() override {}
  void openWebPage(const std::string&) override {}
  void settingsNote(const std::string& line) override { log_ << "zarn-vote: " << line << std::endl; }
  void runLater(int milliseconds, std::function<void()> task) override {
    loop_.runLater(std::chrono::milliseconds(milliseconds), std::move(task));
  }
  [[noreturn]] void quit() override;
  // A stop that came in the middle of a console sequence takes effect once the sequence is over: the
  // game is not left with its console open and a command in its line.
  void consoleSequenceRunning(bool running) override;

 private:
  // Ends the program now if a stop is pending and no console sequence runs.
  void stopIfDue();

  std::filesystem::path settingsPath_;
  EventLoopPort& loop_;
  ProgramEnd& end_;
  std::ostream& log_;
  frmmain* core_ = nullptr;
  std::string lastNotice_;
  std::chrono::milliseconds stopBound_;
  int sequencesRunning_ = 0;
  bool stopPending_ = false;
  // Once the start has read the settings, an unreadable file no longer ends the service: an activation that
  // comes later (a reload, the remote console's Start) says so and runs on.
  bool started_ = false;
};
