// Demonstration: the voting service against a simulated game server, in virtual time. Players join,
// vote in the chat, one of them is voted out, the map is voted away, and the operator uses the buttons.
// Usage: zarn-vote-demo [--dir FOLDER] [--minutes N]. The folder (by default the executable's) holds
// settings.ini, written for the demo when there is none, and errorlog.log.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/program_folder.h"
#include "demo/simulated_game.h"
#include "dialogs/punt_ban_dialog.h"

namespace {

constexpr const char* kChat = "&H10FE6C0";
constexpr const char* kConsole = "&H11038DC";
constexpr int kPlayerStart = 0x2000000;

// A window timer on the demo's virtual clock.
struct DemoTimer {
  ManualTimer port;
  long long due = 0;
  bool ticking() const { return port.ticking(); }
  int interval() const { return port.interval(); }
};

std::string clockText(long long ms) {
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02lld.%01lld", ms / 60000, (ms / 1000) % 60, (ms / 100) % 10);
  return text;
}

// Virtual time: timers fire at their due times, the game's pauses move the clock on, and everything that
// falls due meanwhile runs, as a window that keeps handling its events does.
class DemoHost final : public HostPort {
 public:
  void yield() override { runDue(); }
  void showNotice(const std::string& text) override { print("[notice] " + text); }
  void showChooser() override { print("[window] the game version chooser opens"); }
  void showPuntBanDialog() override { print("[window] the punt/ban dialog opens"); }
  void showAbout() override { print("[window] the About box opens"); }
  void openWebPage(const std::string& address) override { print("[browser] " + address); }
  [[noreturn]] void quit() override {
    std::cout.flush();
    std::exit(0);
  }

  void print(const std::string& line) const { std::cout << clockText(now) << "  " << line << "\n"; }
  void advance(int ms) {
    const long long until = now + ms;
    while (true) {
      const long long next = nextDue();
      if (next > until)
        break;
      now = next;
      runDue();
    }
    now = until;
  }
  void runDue() {
    for (auto it = script.begin(); it != script.end() && it->first <= now;) {
      auto action = std::move(it->second);
      it = script.erase(it);
      action();
    }
    fire(*timer1, onTimer1);
    fire(*timer2, onTimer2);
  }
  long long nextDue() const {
    long long next = script.empty() ? LLONG_MAX : script.begin()->first;
    if (timer1->ticking())
      next = std::min(next, timer1->due);
    if (timer2->ticking())
      next = std::min(next, timer2->due);
    return next;
  }

  long long now = 0;
  DemoTimer* timer1 = nullptr;
  DemoTimer* timer2 = nullptr;
  std::function<void()> onTimer1;
  std::function<void()> onTimer2;
  std::multimap<long long, std::function<void()>> script;

 private:
  void fire(DemoTimer& timer, const std::function<void()>& handler) {
    if (!timer.ticking() || timer.due > now)
      return;
    timer.due = now + timer.interval();
    handler();
  }
};

class DemoDialogWindow final : public DialogWindowPort {
 public:
  explicit DemoDialogWindow(const DemoHost& host) : host_(host) {}
  void showNotice(const std::string& text) override { host_.print("[notice] " + text); }
  void close() override { host_.print("[window] the dialog closes"); }

 private:
  const DemoHost& host_;
};

class DemoClock final : public Clock {
 public:
  std::tm localNow() const override { return SystemClock().localNow(); }
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  int minutes = 4;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if ((arguments[i] == "--dir" || arguments[i] == "--minutes") && i + 1 < arguments.size()) {
      if (arguments[i] == "--minutes")
        minutes = std::atoi(arguments[i + 1].c_str());
      ++i;
    } else {
      std::cerr << "usage: zarn-vote-demo [--dir FOLDER] [--minutes N]\n";
      return 2;
    }
  }
  std::error_code ignored;
  const ProgramFolder program =
      programFolderFrom(arguments, std::filesystem::read_symlink("/proc/self/exe", ignored));
  if (!program.error.empty()) {
    std::cerr << "zarn-vote-demo: " << program.error << "\n";
    return 2;
  }
  const std::filesystem::path folder = program.folder;
  const auto settings = folder / "settings.ini";
  if (!std::filesystem::exists(settings)) {
    std::ofstream(settings, std::ios::binary)
        << "[Game]\r\nName=Delta Force Land Warrior,  V1.00.42\r\n"
        << "[Memory]\r\nChat=" << kChat << "\r\nConsole=" << kConsole << "\r\nPlayer Start=&H2000000\r\n"
        << "[Votes]\r\nMax Player Votes=2\r\nMax Map Votes=2\r\n"
        << "[General]\r\nFirst Run=False\r\nDisplay Summary=20\r\nReset Votes=20\r\n";
  }

  SimulatedGame game(kChat, kConsole, kPlayerStart);
  DemoHost host;
  DemoTimer timer1;
  DemoTimer timer2;
  Globals globals;
  DemoClock clock;
  host.timer1 = &timer1;
  host.timer2 = &timer2;
  game.report = [&host](const std::string& line) { host.print(line); };
  game.onPause = [&host](int ms) { host.advance(ms); };

  DemoDialogWindow dialogWindow(host);
  frmmain window(MainWindowPorts{host, timer1.port, timer2.port, game, globals, folder, clock});
  host.onTimer1 = [&window] { window.Timer1_Timer(); };
  host.onTimer2 = [&window] { window.Timer2_Timer(); };

  const char* names[] = {"Ann", "Bob", "Cy", "Dee", "Eve"};
  for (int slot = 0; slot < 5; ++slot)
    game.seat(slot, names[slot]);

  auto at = [&host](double seconds, std::function<void()> action) {
    host.script.emplace(static_cast<long long>(seconds * 1000), std::move(action));
  };
  at(2, [&] { game.say(0, "/vote 1"); });
  at(3, [&] { game.say(2, "/vote 1"); });
  at(4, [&] { game.say(2, "/vote 1"); });  // a repeat: counted once
  at(5, [&] { game.say(3, "/vote 1"); });
  at(7, [&] { game.say(4, "/vote map"); });
  at(8, [&] { game.say(0, "/vote map"); });
  at(9, [&] { game.say(3, "/vote map"); });
  at(25, [&] { game.say(4, "hello all"); });
  at(40, [&] {
    host.print("[operator] Punt/Ban Player, types 4, presses Punt");
    window.Command3_Click();
    Dialog dialog(globals, timer2.port, dialogWindow, window.ticks);
    dialog.Text1 = "4";
    dialog.cmdpunt_Click();
  });
  at(60, [&] {
    host.print("[operator] Clear Votes");
    window.Command1_Click();
  });

  window.Form_Load();
  window.Form_Activate();
  timer1.due = timer1.interval();
  timer2.due = timer2.interval();
  host.advance(minutes * 60 * 1000);

  std::cout << "\nVote table after " << minutes << " minutes:\n";
  for (std::size_t k = 0; k < window.List2.size(); ++k) {
    if (window.List1[k].empty() && window.List3[k] == "0")
      continue;
    std::cout << "  " << window.List2[k] << "  " << window.List1[k] << "  votes: " << window.List3[k] << "\n";
  }
  std::cout << "  ##  Map  votes: " << window.Text4 << "\n";
  std::cout << "Settings and error log in " << folder.string() << "\n";
  return 0;
}
