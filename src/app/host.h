// What the core asks of the window system it runs in. The Qt front-end implements these ports with real
// widgets and timers; the tests implement them in virtual time.
#pragma once

#include <functional>
#include <string>
#include <utility>

// A window timer. An interval of 0 means the timer does not fire, enabled or not.
class TimerPort {
 public:
  virtual ~TimerPort() = default;
  virtual void setInterval(int milliseconds) = 0;
  virtual int interval() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool enabled() const = 0;
};

// A timer that only holds its settings; whoever owns it decides when it fires (a front-end's event loop,
// the demo's virtual clock, a test).
class ManualTimer final : public TimerPort {
 public:
  void setInterval(int milliseconds) override { interval_ = milliseconds; }
  int interval() const override { return interval_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  bool enabled() const override { return enabled_; }
  // Whether a window timer in this state would fire.
  bool ticking() const { return enabled_ && interval_ > 0; }

 private:
  int interval_ = 0;
  bool enabled_ = true;  // window timers start enabled; only the interval keeps them quiet
};

// A window timer on a toolkit's countdown, which fires once each time it is armed. The rules are the
// window's: enabled and interval are kept apart; setting the interval or the state the timer already has
// does not restart the countdown, since every activation sets both again and activations quicker than the
// interval would otherwise hold the tick off for ever. The toolkit calls `fired` when the countdown ends:
// the next countdown is armed before the tick runs, so that the timer can fire again inside its own
// tick's pause, or a collection tick inside a processing tick's, as the core allows.
class CountdownTimer : public TimerPort {
 public:
  explicit CountdownTimer(std::function<void()> tick) : tick_(std::move(tick)) {}
  void setInterval(int milliseconds) override {
    if (milliseconds == interval_)
      return;
    interval_ = milliseconds;
    apply();
  }
  int interval() const override { return interval_; }
  void setEnabled(bool enabled) override {
    if (enabled == enabled_)
      return;
    enabled_ = enabled;
    apply();
  }
  bool enabled() const override { return enabled_; }

 protected:
  // Starts the countdown afresh for `milliseconds`; 0 stops it.
  virtual void arm(int milliseconds) = 0;
  void apply() { arm(enabled_ && interval_ > 0 ? interval_ : 0); }
  void fired() {
    apply();
    tick_();
  }

 private:
  std::function<void()> tick_;
  int interval_ = 0;
  bool enabled_ = true;  // window timers start enabled; only the interval keeps them quiet
};

class HostPort {
 public:
  virtual ~HostPort() = default;

  // Let the window handle the events already waiting (timer ticks, clicks, repaints), then return.
  virtual void yield() = 0;

  // A modal notice with an OK button only and the program's title; returns when the operator closed it.
  virtual void showNotice(const std::string& text) = 0;

  // The settings file at `path` exists but cannot be read, for `reason` (see INI::unreadableReason), so the
  // activation changed nothing. Tell the operator; the window shows each such text once.
  virtual void settingsUnreadable(const std::string& path, const std::string& reason) = 0;

  // Show the game version chooser, modeless; create it first if it is not open, else bring it to front.
  virtual void showChooser() = 0;

  // Show the punt/ban dialog, modeless; create it first if it is not open, else bring it to front.
  virtual void showPuntBanDialog() = 0;

  // Show the About box, modeless; create it first if it is not open, else bring it to front.
  virtual void showAbout() = 0;

  // Open a web address in the operator's browser; whether a browser opens is not reported.
  virtual void openWebPage(const std::string& address) = 0;

  // A line about the settings for the operator's console output: the service prints it, a window has no
  // such output and leaves it to the error log.
  virtual void settingsNote(const std::string& line) { static_cast<void>(line); }

  // Run `task` from the event loop once `milliseconds` have passed (at once for 0), like a click: never from
  // inside this call, and at a yield when one comes first.
  virtual void runLater(int milliseconds, std::function<void()> task) = 0;

  // A console sequence (from the console key to the last Enter) begins or ends; a failure ends it too. A
  // host that is told to stop waits for the end, so the game is not left with its console open and a
  // command in it.
  virtual void consoleSequenceRunning(bool running) { static_cast<void>(running); }

  // End the program at once: close every window of the program and stop the timers. Never returns, so no
  // handler, not even a tick waiting in a yield further up the stack, runs on afterwards.
  [[noreturn]] virtual void quit() = 0;
};
