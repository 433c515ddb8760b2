// How many of the vote lines that players type get counted, on the service's own rules in virtual time:
// players type one, two or four distinct vote lines a second for ten minutes, the collection tick reads
// the chat every 500 ms or every 100 ms, and the processing tick runs every 10 s, quiet or sending the
// three-line summary on every other tick (nine seconds of console pauses each time). A line can only be
// counted when a collection tick reads it, so the figure to reach is every line that stood in the chat
// for one collection interval.
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "settings/ini.h"
#include "support/fixed_clock.h"
#include "support/journal.h"
#include "support/scripted_memory_control.h"
#include "support/temp_folder.h"
#include "support/virtual_clock.h"
#include "support/virtual_host.h"

namespace {

struct Outcome {
  int typed = 0;
  int stoodOneInterval = 0;
  int counted = 0;
};

Outcome run(int collectMs, int linesPerSecond, bool summary) {
  TempFolder folder;
  folder.write("settings.ini", "[General]\r\nFirst Run=False\r\nInterval=" + std::to_string(collectMs) +
                                   "\r\nInterval 2=10000\r\nReset Votes=32767\r\nDisplay Summary=" +
                                   (summary ? "0" : "32767") +
                                   "\r\n[Votes]\r\nMax Player Votes=32767\r\n"
                                   "[Memory]\r\nPlayer Start=&H1000\r\n");
  Journal journal;
  ScriptedMemoryControl memory(journal);
  VirtualHost host(journal);
  ManualTimer timer1;
  ManualTimer timer2;
  Globals globals;
  FixedClock clock;
  frmmain window(MainWindowPorts{host, timer1, timer2, memory, globals, folder.path(), clock});
  for (int slot = 0; slot < 16; ++slot) {
    char address[16];
    std::snprintf(address, sizeof address, "&H%X", 0x1000 + 16 * (slot + 1));
    memory.setMemory(address, "Player" + std::to_string(slot));
  }

  VirtualClock virtualClock;
  host.recordYields = false;
  virtualClock.addTimer(timer1, [&window] { window.Timer1_Timer(); });
  virtualClock.addTimer(timer2, [&window] { window.Timer2_Timer(); });
  host.duringYield = [&virtualClock] { virtualClock.runDue(); };
  memory.pauseFor = [&virtualClock](double seconds) {
    virtualClock.pass(static_cast<VirtualClock::Ms>(seconds * 1000));
  };
  window.Form_Load();
  window.Form_Activate();

  Outcome outcome;
  const VirtualClock::Ms every = 1000 / linesPerSecond;
  // Lines change at odd moments, so that no change falls exactly on a tick.
  for (VirtualClock::Ms at = 37; at < 600000; at += every) {
    const std::string line =
        "Voter" + std::to_string(outcome.typed) + ": /vote " + std::to_string(outcome.typed % 16);
    virtualClock.at(at, [&memory, line] { memory.setMemory("&H10FE6C0", line); });
    ++outcome.typed;
    if (every >= collectMs)
      ++outcome.stoodOneInterval;
  }
  virtualClock.pass(605000);
  for (std::size_t at = 0; (at = window.Text1.find("\r\n", at)) != std::string::npos; at += 2)
    ++outcome.counted;
  return outcome;
}

}  // namespace

int main() {
  std::printf("%-10s %-8s %-8s %7s %14s %8s\n", "interval", "lines/s", "summary", "typed", "stood 1 intv.",
              "counted");
  for (const int collectMs : {500, 100}) {
    for (const int rate : {1, 2, 4}) {
      for (const bool summary : {false, true}) {
        const Outcome outcome = run(collectMs, rate, summary);
        std::printf("%-10d %-8d %-8s %7d %14d %8d\n", collectMs, rate, summary ? "yes" : "no", outcome.typed,
                    outcome.stoodOneInterval, outcome.counted);
      }
    }
  }
  return 0;
}
