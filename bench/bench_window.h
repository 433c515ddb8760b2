// The main window wired to a game link for a benchmark: a window system with no events, timers that only
// the benchmark fires, the program folder in the system's temporary folder.
#pragma once

#include <filesystem>

#include "app/main_window.h"
#include "support/idle_host.h"

struct BenchWindow {
  explicit BenchWindow(MemoryControl& link)
      : window{MainWindowPorts{host, timer1, timer2, link, globals, std::filesystem::temp_directory_path(),
                               clock}} {
    window.Form_Load();
    window.chatAddress = "&H10FE6C0";
    window.consoleAddress = "&H11038DC";
  }
  IdleHost host;
  ManualTimer timer1;
  ManualTimer timer2;
  Globals globals;
  SystemClock clock;
  frmmain window;
};
