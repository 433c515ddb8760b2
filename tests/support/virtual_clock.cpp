#include "support/virtual_clock.h"

#include <algorithm>
#include <climits>
#include <utility>

void VirtualClock::addTimer(ManualTimer& timer, std::function<void()> handler) {
  timers_.push_back(Timer{&timer, std::move(handler), std::nullopt});
}

void VirtualClock::at(Ms time, std::function<void()> change) {
  changes_.emplace(time, std::move(change));
}

VirtualClock::Ms VirtualClock::nextDue() {
  Ms next = changes_.empty() ? LLONG_MAX : changes_.begin()->first;
  for (Timer& timer : timers_) {
    // A timer that stopped starts counting its interval afresh when it runs again.
    if (!timer.port->ticking()) {
      timer.due.reset();
      continue;
    }
    if (!timer.due)
      timer.due = now_ + timer.port->interval();
    next = std::min(next, *timer.due);
  }
  return next;
}

void VirtualClock::runDue() {
  while (!changes_.empty() && changes_.begin()->first <= now_) {
    auto change = std::move(changes_.begin()->second);
    changes_.erase(changes_.begin());
    change();
  }
  nextDue();
  for (std::size_t i = 0; i < timers_.size(); ++i) {
    Timer& timer = timers_[i];
    if (!timer.port->ticking() || !timer.due || *timer.due > now_)
      continue;
    timer.due = now_ + timer.port->interval();
    timer.handler();
  }
}

void VirtualClock::pass(Ms ms) {
  const Ms until = now_ + ms;
  for (Ms next = nextDue(); next <= until; next = nextDue()) {
    now_ = next;
    runDue();
  }
  // A pause that ends inside a longer one nested in it (a notice held open during a pause) finds the
  // clock already past its end.
  now_ = std::max(now_, until);
}
