// The service without a window, for a dedicated server started by a service manager: the same core,
// timers and pauses, notices written to stderr, the audit log's lines (when it is on) also to stdout, and
// signals that end it (SIGINT, SIGTERM) or make it reload its settings and attach again (SIGHUP), as
// returning to the window would.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

#include "app/globals.h"
#include "app/host.h"
#include "app/main_window.h"
#include "app/qt/qt_timer.h"

class ProgramEnd;

// The exit status when the settings cannot run the service: the file cannot be read, or it still asks for
// the game version chooser, which needs the window.
inline constexpr int kExitUnusableSettings = 2;
// How long a stop waits at most for the console sequence in progress.
inline constexpr std::chrono::milliseconds kStopBound{5000};

class HeadlessService final : public HostPort {
 public:
  // `stopBound` is how long SIGINT or SIGTERM waits at most for a running console sequence to finish.
  HeadlessService(const std::filesystem::path& programFolder, MemoryControl& memory, const Clock& clock,
                  ProgramEnd& end, std::ostream& log, std::chrono::milliseconds stopBound = kStopBound);
  ~HeadlessService() override;

  // Loads the vote table, starts watching for signals and runs the first activation.
  void start();
  // SIGHUP: the activation sequence again.
  void reload();

  void yield() override;
  // Written to the log once; the same notice again, as a failing attach gives on every tick, is not
  // repeated until a different one has come in between.
  void showNotice(const std::string& text) override;
  // At start the service ends, as it has no settings to run on; on a reload it says so and runs on with
  // the settings it has.
  void settingsUnreadable(const std::string& path, const std::string& reason) override;
  // The chooser needs the window: the service ends, naming the settings to set.
  void showChooser() override;
  void showPuntBanDialog() override {}
  void showAbout() override {}
  void openWebPage(const std::string&) override {}
  [[noreturn]] void quit() override;
  // A stop that came in the middle of a console sequence takes effect once the sequence is over: the
  // game is not left with its console open and a command in its line.
  void consoleSequenceRunning(bool running) override;

  frmmain& core() { return core_; }

 private:
  void onSignal();
  // Ends the program now if a stop is pending and no console sequence runs.
  void stopIfDue();

  ProgramEnd& end_;
  std::ostream& log_;
  Globals globals_;
  QtTimer timer1_;
  QtTimer timer2_;
  frmmain core_;
  std::string lastNotice_;
  std::chrono::milliseconds stopBound_;
  int sequencesRunning_ = 0;
  bool stopPending_ = false;
  // Once a reload has come, the start has read the settings: an unreadable file no longer ends the service.
  bool reloaded_ = false;
  std::unique_ptr<QSocketNotifier> signals_;
  int signalPipe_[2] = {-1, -1};
};
