// Another copy of the Windows link in a process of its own, for the tests: it takes the game titled by
// its first argument, writes what the link reports to the file named by its second, and keeps the game
// until it is ended (at most two minutes). Exit code 1 when it could not take the game.
#include <windows.h>

#include <fstream>
#include <string>

#include "memlink/windows/windows_memory_control.h"
#include "windows/game_sim_launch.h"

int main(int argc, char** argv) {
  if (argc != 3)
    return 2;
  std::ofstream reports(argv[2], std::ios::binary);
  MessagePumpPause pause;
  WindowsMemoryControl link(pause, [&reports](const std::string& report) {
    reports << report << '\n' << std::flush;
  });
  std::string title = argv[1];
  if (!link.OpenGame(title))
    return 1;
  pause.pause(120);
  return 0;
}
