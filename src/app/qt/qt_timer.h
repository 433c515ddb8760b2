// A window timer on a QTimer. Enabled and interval are kept apart, as the core sees them; the QTimer only
// runs while the timer is enabled with an interval above 0, because a QTimer at interval 0 fires on every
// pass of the event loop where a window timer at 0 never fires.
#pragma once

#include <QTimer>
#include <functional>

#include "app/host.h"

class QtTimer final : public TimerPort {
 public:
  explicit QtTimer(std::function<void()> tick);

  void setInterval(int milliseconds) override;
  int interval() const override { return interval_; }
  void setEnabled(bool enabled) override;
  bool enabled() const override { return enabled_; }

  // Stops the timer for good, whatever the core sets afterwards: the window it belongs to is gone.
  void halt();
  // Whether the QTimer is counting down.
  bool running() const { return timer_.isActive(); }

 private:
  void apply();

  QTimer timer_;
  int interval_ = 0;
  bool enabled_ = true;
  bool halted_ = false;
};
