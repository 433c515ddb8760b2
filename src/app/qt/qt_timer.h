// A window timer on a QTimer. The QTimer only runs while the timer is enabled with an interval above 0,
// because a QTimer at interval 0 fires on every pass of the event loop where a window timer at 0 never
// fires.
#pragma once

#include <QTimer>
#include <functional>

#include "app/host.h"

class QtTimer final : public CountdownTimer {
 public:
  explicit QtTimer(std::function<void()> tick);

  // Stops the timer for good, whatever the core sets afterwards: the window it belongs to is gone.
  void halt();
  // Whether the QTimer is counting down.
  bool running() const { return timer_.isActive(); }

 private:
  void arm(int milliseconds) override;

  QTimer timer_;
  bool halted_ = false;
};
