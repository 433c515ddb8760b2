// The service without a window on Windows: a console program on the Windows event loop, with notices on
// stderr, the audit log's lines also on stdout, and Ctrl+C, Ctrl+Break or the console closing as a stop.
// Windows has no reload signal: a changed settings file takes a restart.
#pragma once

#include <filesystem>
#include <iosfwd>

#include "app/globals.h"
#include "app/main_window.h"
#include "app/service_host.h"
#include "app/win32/win32_loop.h"

class ConsoleService final {
 public:
  ConsoleService(const std::filesystem::path& programFolder, Win32Loop& loop, MemoryControl& memory,
                 const Clock& clock, ProgramEnd& end, std::ostream& log,
                 std::chrono::milliseconds stopBound = kStopBound);
  ~ConsoleService();
  ConsoleService(const ConsoleService&) = delete;
  ConsoleService& operator=(const ConsoleService&) = delete;

  // Loads the vote table, starts listening for the console's stop events and runs the first activation.
  void start();

  frmmain& core() { return core_; }

 private:
  std::ostream& log_;
  Win32Loop& loop_;
  Globals globals_;
  ServiceHost host_;
  Win32Timer timer1_;
  Win32Timer timer2_;
  frmmain core_;
};

// What a console control event is called in the log ("Ctrl+C").
const char* consoleEventName(unsigned long event);
