// The service without a window on Linux, for a dedicated server started by a service manager: the same
// core, timers and pauses on Qt's event loop, notices written to stderr, the audit log's lines (when it is
// on) also to stdout, signals that end it (SIGINT, SIGTERM) or make it reload its settings and attach
// again (SIGHUP), as returning to the window would, and the remote console's server.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <memory>

#include "app/globals.h"
#include "app/main_window.h"
#include "app/qt/qt_timer.h"
#include "app/qt/remote_server.h"
#include "app/service_host.h"

// Qt's event loop as the service's.
class QtEventLoop final : public EventLoopPort {
 public:
  void processEvents() override;
  void runLater(std::chrono::milliseconds delay, std::function<void()> task) override;
};

class HeadlessService final {
 public:
  // `stopBound` is how long SIGINT or SIGTERM waits at most for a running console sequence to finish.
  HeadlessService(const std::filesystem::path& programFolder, MemoryControl& memory, const Clock& clock,
                  ProgramEnd& end, std::ostream& log, std::chrono::milliseconds stopBound = kStopBound);
  ~HeadlessService();
  HeadlessService(const HeadlessService&) = delete;
  HeadlessService& operator=(const HeadlessService&) = delete;

  // Loads the vote table, starts watching for signals and runs the first activation.
  void start();
  // SIGHUP: the activation sequence again.
  void reload() { host_.reload(); }

  frmmain& core() { return core_; }
  RemoteServer& remoteServer() { return remote_; }

 private:
  void onSignal();

  std::ostream& log_;
  Globals globals_;
  QtEventLoop loop_;
  ServiceHost host_;
  QtTimer timer1_;
  QtTimer timer2_;
  RemoteServer remote_;
  frmmain core_;
  std::unique_ptr<QSocketNotifier> signals_;
  int signalPipe_[2] = {-1, -1};
};
