#include "app/qt/qt_timer.h"

#include <utility>

QtTimer::QtTimer(std::function<void()> tick) {
  // A coarse timer may fire up to 5 % early; the game's pacing and the operator's settings are exact.
  timer_.setTimerType(Qt::PreciseTimer);
  // Qt never delivers a timer's timeout again while its own slot still runs. The collection tick must be
  // able to fire inside a processing tick that started in the collection tick's yield, so the timer is a
  // single shot armed afresh before each tick: the new countdown may fire in any yield or pause further
  // down, and the core decides which ticks may start there.
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this, tick = std::move(tick)] {
    apply();
    tick();
  });
}

void QtTimer::setInterval(int milliseconds) {
  // Every activation sets both intervals again. Restarting the countdown each time would let activations
  // that come quicker than the interval hold the tick off for ever.
  if (milliseconds == interval_)
    return;
  interval_ = milliseconds;
  apply();
}

void QtTimer::setEnabled(bool enabled) {
  if (enabled == enabled_)
    return;
  enabled_ = enabled;
  apply();
}

void QtTimer::halt() {
  halted_ = true;
  apply();
}

void QtTimer::apply() {
  if (!halted_ && enabled_ && interval_ > 0)
    timer_.start(interval_);
  else
    timer_.stop();
}
