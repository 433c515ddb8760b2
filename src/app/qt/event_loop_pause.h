// The game link's pause for a program with an event loop: the events keep flowing (ticks, clicks,
// repaints) while the pause lasts, and the thread sleeps in the event loop instead of spinning.
#pragma once

#include <functional>

#include "memlink/pause.h"

class EventLoopPause final : public PausePort {
 public:
  // `beforePause` runs first, so that the window shows the latest state while it waits.
  explicit EventLoopPause(std::function<void()> beforePause = {}) : beforePause_(std::move(beforePause)) {}
  void pause(double seconds) override;

 private:
  std::function<void()> beforePause_;
};
