// A main window on idle ports for the fuzz targets, loaded, in a folder that does not exist: log entries
// are dropped instead of filling the disk.
#pragma once

#include <ctime>
#include <filesystem>

#include "app/main_window.h"
#include "support/idle_host.h"
#include "support/memory_only_link.h"

class EpochClock final : public Clock {
 public:
  std::tm localNow() const override { return std::tm{}; }
  std::int64_t steadyMs() const override { return 0; }
  std::int64_t unixSeconds() const override { return 0; }
};

struct FuzzWindow {
  explicit FuzzWindow(RemoteListenerPort* remoteListener = nullptr)
      : window(MainWindowPorts{host, timer1, timer2, link, globals, "/nonexistent/zarnvote-fuzz", clock,
                               remoteListener}) {
    window.Form_Load();
  }

  MemoryOnlyLink link;
  IdleHost host;
  ManualTimer timer1;
  ManualTimer timer2;
  Globals globals;
  EpochClock clock;
  frmmain window;
};
