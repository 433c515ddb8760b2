#include "app/qt/qt_timer.h"

#include <utility>

QtTimer::QtTimer(std::function<void()> tick) {
  // A coarse timer may fire up to 5 % early; the game's pacing and the operator's settings are exact.
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
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
