// Real timers and pauses in a real event loop: an interval of 0 never fires, setting the same interval
// again does not hold the tick off, and a pause lets timers fire while the thread sleeps. Bounds are loose:
// these run on a busy machine.
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QTest>

#include "app/qt/event_loop_pause.h"
#include "app/qt/qt_timer.h"

namespace {

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

class TimingTest : public QObject {
  Q_OBJECT

 private slots:
  void intervalZeroNeverFires() {
    int ticks = 0;
    QtTimer timer([&ticks] { ++ticks; });
    QVERIFY(timer.enabled());
    timer.setInterval(0);
    for (int i = 0; i < 1000; ++i)
      QCoreApplication::processEvents();
    QTest::qWait(100);
    QCOMPARE(ticks, 0);
    QVERIFY(!timer.running());
  }

  void disabledOrHaltedNeverFires() {
    int ticks = 0;
    QtTimer timer([&ticks] { ++ticks; });
    timer.setInterval(10);
    timer.setEnabled(false);
    QTest::qWait(100);
    QCOMPARE(ticks, 0);
    timer.setEnabled(true);
    QTRY_VERIFY(ticks > 0);
    timer.halt();
    timer.setEnabled(true);
    timer.setInterval(5);
    const int before = ticks;
    QTest::qWait(100);
    QCOMPARE(ticks, before);
  }

  // The collection tick must run inside a processing tick's pause even when that processing tick started
  // in the collection tick's own yield; Qt alone never fires a timer again while its slot runs.
  void aTimerFiresAgainInsideAPauseOfItsOwnTick() {
    EventLoopPause pause;
    int depth = 0;
    int nested = 0;
    int ticks = 0;
    QtTimer timer([&] {
      ++ticks;
      if (depth > 0) {
        ++nested;
        return;
      }
      ++depth;
      pause.pause(0.3);
      --depth;
    });
    timer.setInterval(20);
    QTRY_VERIFY(ticks > 0);
    QTRY_VERIFY(depth == 0);
    QVERIFY2(nested >= 5, qPrintable(QString::number(nested)));
  }

  void settingTheSameIntervalAgainKeepsTheCountdown() {
    int ticks = 0;
    QtTimer timer([&ticks] { ++ticks; });
    timer.setInterval(150);
    // An activation every 50 ms sets the interval again; restarting the countdown would starve the tick.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) {
      timer.setInterval(150);
      QTest::qWait(50);
    }
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
  }

  void pauseKeepsEventsFlowingWithoutSpinning() {
    int ticks = 0;
    QtTimer ticker([&ticks] { ++ticks; });
    ticker.setInterval(20);
    int refreshes = 0;
    EventLoopPause pause([&refreshes] { ++refreshes; });
    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    wall.start();
    pause.pause(0.6);
    const qint64 elapsed = wall.elapsed();
    const double cpu = cpuSeconds() - cpuBefore;
    QVERIFY2(elapsed >= 590, qPrintable(QString::number(elapsed)));
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QCOMPARE(refreshes, 1);
    QVERIFY2(cpu < 0.3, qPrintable(QString::number(cpu)));
  }
};

QTEST_MAIN(TimingTest)
#include "timing_test.moc"
