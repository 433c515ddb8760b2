// Figures of the Windows game link against the simulator, for the notes, not a test: the cost of one
// collection tick's read (90 bytes of chat) averaged over many, and of one key press with its pauses.
// Run on the tests' display and prefix, against the 64-bit simulator or the one named (Wine's notation):
//   DISPLAY=:N WINEPREFIX=... wine64 zarnvote_windows_link_figures.exe [Z:/.../win32/zarn-game-sim.exe]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "memlink/windows/windows_memory_control.h"
#include "windows/game_sim_launch.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  std::string title = testTitle("figures");
  const LaunchedGame game(title, "0 join 3 Bob\n0.1 say 3 hello\n", argc > 1 ? argv[1] : ZARN_GAME_SIM_EXE);
  if (!game.waitFor("CHAT Bob: hello")) {
    std::fprintf(stderr, "the game did not start:\n%s\n", game.transcript().c_str());
    return 1;
  }
  MessagePumpPause pause;
  WindowsMemoryControl link(pause,
                            [](const std::string& report) { std::printf("link: %s\n", report.c_str()); });
  if (!link.OpenGame(title))
    return 1;

  // The processor time of this process, in milliseconds: the time a read costs the host, beside the time
  // it takes.
  const auto processorMs = [] {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& time) {
      return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
             10000.0;
    };
    return ms(kernel) + ms(user);
  };
  constexpr int kReads = 1000;
  const auto readStart = Clock::now();
  const double processorStart = processorMs();
  for (int i = 0; i < kReads; ++i)
    link.ReadString("&H10FE6C0", std::int16_t{90});
  const std::chrono::duration<double, std::milli> reads = Clock::now() - readStart;
  std::printf("ReadString of 90 bytes: %.4f ms each, %.4f ms of processor time (%d reads)\n",
              reads.count() / kReads, (processorMs() - processorStart) / kReads, kReads);

  constexpr int kKeys = 10;
  const auto keyStart = Clock::now();
  for (int i = 0; i < kKeys; ++i)
    link.SendKey(kKeyConsole);
  const std::chrono::duration<double, std::milli> keys = Clock::now() - keyStart;
  std::printf("SendKey: %.1f ms each (%d keys; 100 ms pause and 30 ms hold included)\n", keys.count() / kKeys,
              kKeys);
  std::fflush(stdout);
  return 0;
}
