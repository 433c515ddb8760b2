#include "app/qt/qt_timer.h"

#include <utility>

QtTimer::QtTimer(std::function<void()> tick) : CountdownTimer(std::move(tick)) {
  // A coarse timer may fire up to 5 % early; the game's pacing and the operator's settings are exact.
  timer_.setTimerType(Qt::PreciseTimer);
  // Qt never delivers a timer's timeout again while its own slot still runs, so the timer is a single shot
  // armed afresh before each tick.
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this] { fired(); });
}

void QtTimer::halt() {
  halted_ = true;
  apply();
}

void QtTimer::arm(int milliseconds) {
  if (!halted_ && milliseconds > 0)
    timer_.start(milliseconds);
  else
    timer_.stop();
}
