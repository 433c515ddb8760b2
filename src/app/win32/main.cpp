// zarn-vote.exe: the operator's window, or with --headless the service alone, as a console program.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cctype>
#include <filesystem>
#include <optional>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/error_log.h"
#include "app/program_end.h"
#include "app/win32/console_service.h"
#include "app/win32/folder_lock.h"
#include "app/win32/win32_loop.h"
#include "app/win32/win32_program.h"
#include "app/win32/win32_ui.h"
#include "common/runtime_error.h"
#include "dialogs/win32/windows_system.h"
#include "memlink/windows/windows_memory_control.h"

namespace {

// The exit status of a copy that finds another one running on its program folder.
constexpr int kExitAnotherCopy = 3;

// What the game link says about reaching the game, once each time it changes.
void reportGameLink(const std::string& state) {
  std::cerr << "zarn-vote: " << state << std::endl;
}

// The program's own file. The wide form, so that a folder named outside the ANSI code page works too.
std::filesystem::path executablePath() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The arguments in UTF-8, from the wide command line: main's argv is in the ANSI code page, which turns a
// folder named outside it ("中") into question marks.
std::vector<std::string> utf8Arguments() {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide != nullptr && i < count; ++i) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argument.data(), bytes, nullptr, nullptr);
    argument.pop_back();  // the terminating NUL
    arguments.push_back(std::move(argument));
  }
  LocalFree(wide);
  return arguments;
}

int runHeadless(const std::filesystem::path& folder) {
  Win32Loop loop;
  WindowsMemoryControl link(loop, reportGameLink);
  SystemClock clock;
  ProcessEnd end;
  ConsoleService service(folder, loop, link, clock, end, std::cerr);
  service.start();
  loop.run();
}

int runWindow(const std::filesystem::path& folder) {
  // The program is a console program, so that the service mode has its console; started from Explorer
  // it got a console of its own, which the window does not need.
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) == 1)
    FreeConsole();
  Win32Loop loop;
  WindowsMemoryControl link(loop, reportGameLink);
  SystemClock clock;
  ProcessEnd end;
  win32ui::MessageBoxNotices notices;
  WindowsSystem system;
  Win32Program window(folder, loop, link, clock, Win32Seams{notices, end, system, win32ui::shellOpen});
  window.show();
  loop.run();
}

// Says that another copy runs on the folder, on stderr and in the window mode also in a message box.
int endAsSecondCopy(bool headless, const std::string& why) {
  std::cerr << "zarn-vote: " << why << std::endl;
  if (!headless) {
    std::string text = why + ".";
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    win32ui::MessageBoxNotices().notify(nullptr, text);
  }
  return kExitAnotherCopy;
}

}  // namespace

int main() {
  const std::vector<std::string> arguments = utf8Arguments();
  const CommandLine command = parseCommandLine(arguments, executablePath());
  if (const std::optional<int> status = answerAtOnce(command, std::cout, std::cerr))
    return *status;
  // Held until the process ends: a second copy on the folder would drive the same game with the same logs.
  const FolderLock folderLock = FolderLock::take(command.folder);
  if (folderLock.busy)
    return endAsSecondCopy(command.headless, anotherCopy(folderLock.holder) + " already runs on " +
                                                 command.folder.string() + "; this copy ends");
  if (!folderLock.held())
    std::cerr << "zarn-vote: no lock on " << command.folder.string() << " (" << folderLock.problem
              << "); a second copy on this folder would not be stopped" << std::endl;
  try {
    return command.headless ? runHeadless(command.folder) : runWindow(command.folder);
  } catch (const RuntimeError& error) {
    std::cerr << "zarn-vote: " << error.what() << std::endl;
    return 1;
  }
}
