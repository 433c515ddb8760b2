// Shows the program's main window with example votes, and with it one of its other windows, for a
// screenshot; no game is needed. Writes the shown window's rectangle on the screen ("left top width
// height") to a file once it is up, and runs until it is killed.
//   zarn-vote-window-shots FOLDER main|chooser|punt-ban|about|notice RECT-FILE
#include <windows.h>

#include <chrono>
#include <fstream>
#include <string>

#include "app/program_end.h"
#include "app/win32/win32_program.h"
#include "dialogs/win32/windows_system.h"

namespace {

// No game runs: the attach fails quietly and nothing is read.
class NoGame final : public MemoryControl {
 public:
  bool OpenGame(std::string&) override { return false; }
  std::string ReadString(const std::string&, const ReadLength&) override { return {}; }
  void WriteString(const std::string&, const std::string&, bool) override {}
  void SendKey(std::int16_t) override {}
  void Wait(const PauseSeconds&) override {}
};

void writeRect(HWND window, const std::string& file) {
  RECT area{};
  GetWindowRect(window, &area);
  std::ofstream(file) << area.left << ' ' << area.top << ' ' << area.right - area.left << ' '
                      << area.bottom - area.top << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4)
    return 2;
  const std::string which = argv[2];
  const std::string rectFile = argv[3];
  Win32Loop loop;
  NoGame game;
  SystemClock clock;
  win32ui::MessageBoxNotices notices;
  ProcessEnd end;
  WindowsSystem system;
  Win32Program program(argv[1], loop, game, clock, Win32Seams{notices, end, system, win32ui::shellOpen});
  frmmain& core = program.core();
  const char* names[] = {"Bob", "Alice", "Mallory", "Trent"};
  for (int slot = 0; slot < 4; ++slot)
    core.List1[static_cast<std::size_t>(slot)] = names[slot];
  core.List3[2] = "4";
  core.List3[3] = "1";
  core.Text4 = "2";
  core.Text1 = "Bob: /vote 2\r\nAlice: /vote 2\r\nTrent: /vote map\r\nAlice: /vote 3\r\nBob: /vote map\r\n"
               "Trent: /vote 2\r\nBob: /vote 2\r\n";
  program.show();
  loop.runLater(std::chrono::milliseconds(500), [&] {
    if (which == "notice") {
      // The box is modal: its rectangle is written from inside its own loop.
      loop.runLater(std::chrono::milliseconds(300),
                    [&] { writeRect(FindWindowA("#32770", kProgramTitle), rectFile); });
      program.command(kMenuNextMap);
      return;
    }
    const int command = which == "chooser"    ? kMenuChooseGame
                        : which == "punt-ban" ? kCommand3
                        : which == "about"    ? kMenuAbout
                                              : 0;
    if (command != 0)
      program.command(command);
    writeRect(GetActiveWindow(), rectFile);
  });
  loop.run();
}
