#include "app/win32/console_service.h"

#include <windows.h>

#include <atomic>
#include <iostream>
#include <ostream>
#include <string>

namespace {

// The loop that hears the console's events. The handler runs on a thread of its own that Windows starts;
// it only posts the event to the loop's thread.
std::atomic<Win32Loop*> eventTarget{nullptr};

// How long the handler holds the process up after the console closed or the session ends: Windows ends
// the process once the handler returns (and after some 5 s in any case), and the stop may be waiting for a
// console sequence.
constexpr DWORD kCloseGrace = static_cast<DWORD>(kStopBound.count()) + 1000;

BOOL WINAPI consoleEvent(DWORD event) {
  Win32Loop* loop = eventTarget.load();
  if (loop == nullptr)
    return FALSE;
  loop->post(event);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    Sleep(kCloseGrace);
  return TRUE;
}

}  // namespace

const char* consoleEventName(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "the console closing";
    case CTRL_LOGOFF_EVENT:
      return "the user logging off";
    case CTRL_SHUTDOWN_EVENT:
      return "Windows shutting down";
    default:
      return "a console event";
  }
}

ConsoleService::ConsoleService(const std::filesystem::path& programFolder, Win32Loop& loop,
                               MemoryControl& memory, const Clock& clock, ProgramEnd& end, std::ostream& log,
                               std::chrono::milliseconds stopBound)
    : log_(log),
      loop_(loop),
      host_(programFolder / "settings.ini", loop, end, log, stopBound),
      timer1_(loop, [this] { core_.Timer1_Timer(); }),
      timer2_(loop, [this] { core_.Timer2_Timer(); }),
      core_(MainWindowPorts{host_, timer1_, timer2_, memory, globals_, programFolder, clock}) {
  host_.serve(core_);
  // The audit log's lines also go to stdout, beside the notices on stderr; flushed at once, for whoever
  // reads them as they come.
  core_.fairVotes.echoAuditLines([](const std::string& line) { std::cout << line << std::endl; });
}

ConsoleService::~ConsoleService() {
  if (eventTarget.load() == &loop_) {
    SetConsoleCtrlHandler(consoleEvent, FALSE);
    eventTarget.store(nullptr);
  }
}

void ConsoleService::start() {
  loop_.onPosted(
      [this](std::uintptr_t event) { host_.stop(consoleEventName(static_cast<unsigned long>(event))); });
  eventTarget.store(&loop_);
  if (!SetConsoleCtrlHandler(consoleEvent, TRUE))
    log_ << "zarn-vote: cannot hear Ctrl+C; closing the console ends the service without notice" << std::endl;
  // A service in session 0 sees no user's desktop: it can neither find the game's window there nor type
  // into it.
  DWORD session = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0)
    log_
        << "zarn-vote: this runs in session 0, where Windows services run; a game on a user's desktop cannot "
           "be reached from here. Start zarn-vote --headless at logon with Task Scheduler, in the game's "
           "session, instead."
        << std::endl;
  core_.Form_Load();
  host_.start();
}
