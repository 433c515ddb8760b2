// The event loop of the program on Windows. A message-only window receives the timers, the tasks run
// later and the stop requests that come from other threads; yield and pause hand the waiting messages to
// it, so ticks and stops run inside them as they would in the window's own loop.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

#include "app/host.h"
#include "app/service_host.h"
#include "memlink/pause.h"

class Win32Loop final : public EventLoopPort, public PausePort {
 public:
  // Raises RuntimeError, with Windows' reason, when the message window cannot be made.
  Win32Loop();
  ~Win32Loop() override;
  Win32Loop(const Win32Loop&) = delete;
  Win32Loop& operator=(const Win32Loop&) = delete;

  void processEvents() override;
  void runLater(std::chrono::milliseconds delay, std::function<void()> task) override;
  // Handles messages as they come until `seconds` have passed; the thread sleeps in between.
  void pause(double seconds) override;
  // Handles messages until the program ends.
  [[noreturn]] void run();

  // A single shot: `fire` runs once, `delay` from now, from this loop. Scheduling an id again restarts
  // its countdown; an id comes from newTimerId.
  void schedule(std::uintptr_t id, std::chrono::milliseconds delay, std::function<void()> fire);
  void cancel(std::uintptr_t id);
  std::uintptr_t newTimerId() { return nextId_++; }

  // Sees every message before it is dispatched and returns whether it took it: a window's keyboard
  // navigation (IsDialogMessage) hooks in here.
  void setMessageFilter(std::function<bool(MSG&)> filter) { filter_ = std::move(filter); }
  // Runs at the start of every pause: a window shows its latest state before the thread sleeps.
  void setBeforePause(std::function<void()> hook) { beforePause_ = std::move(hook); }

  // Runs `handler` with the value that `post` was given from any thread.
  void onPosted(std::function<void(std::uintptr_t)> handler) { posted_ = std::move(handler); }
  // Safe from any thread: queues `value` for the handler.
  void post(std::uintptr_t value);

 private:
  static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void dispatch(MSG& message);
  void fire(std::uintptr_t id);

  HWND window_ = nullptr;
  std::uintptr_t nextId_ = 1;
  std::map<std::uintptr_t, std::function<void()>> shots_;
  std::function<void(std::uintptr_t)> posted_;
  std::function<bool(MSG&)> filter_;
  std::function<void()> beforePause_;
};

// A window timer on the loop's single shots.
class Win32Timer final : public CountdownTimer {
 public:
  Win32Timer(Win32Loop& loop, std::function<void()> tick);
  ~Win32Timer() override;
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;

  // Stops the timer for good, whatever the core sets afterwards: the window it belongs to is gone.
  void halt();

 private:
  void arm(int milliseconds) override;

  Win32Loop& loop_;
  std::uintptr_t id_;
  bool halted_ = false;
};
