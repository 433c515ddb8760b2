// Virtual time for tests of the whole service: the window timers fire at their due times, a pause moves
// the clock on and runs everything that falls due meanwhile, as a window that keeps handling its events
// during a pause does, and a yield runs what is due already. A timer is re-armed before its handler runs,
// so it can fire again inside its own handler's pauses; the main window decides which ticks may start.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "app/host.h"

class VirtualClock {
 public:
  using Ms = long long;

  // Timers due together fire in the order they were added.
  void addTimer(ManualTimer& timer, std::function<void()> handler);
  // A change of the world (a new chat line, a click) at a moment of virtual time.
  void at(Ms time, std::function<void()> change);

  // A yield: the changes and timers already due run, each timer at most once.
  void runDue();
  // A pause: the clock moves on by `ms`; everything that falls due meanwhile runs at its moment.
  void pass(Ms ms);

  Ms now() const { return now_; }

 private:
  struct Timer {
    ManualTimer* port;
    std::function<void()> handler;
    std::optional<Ms> due;
  };
  Ms nextDue();

  Ms now_ = 0;
  std::vector<Timer> timers_;
  std::multimap<Ms, std::function<void()>> changes_;
};
