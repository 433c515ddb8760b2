#include "app/qt/event_loop_pause.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cmath>

void EventLoopPause::pause(double seconds) {
  if (beforePause_)
    beforePause_();
  if (!(seconds > 0))
    return;
  const double milliseconds = std::min(std::round(seconds * 1000.0), 24.0 * 3600 * 1000);
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.setTimerType(Qt::PreciseTimer);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  deadline.start(static_cast<int>(milliseconds));
  // The program ends through std::_Exit, never by quitting the event loop, so exec() only returns here
  // when the deadline has passed.
  loop.exec();
}
