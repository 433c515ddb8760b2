// The collection tick against the live game simulator, through the Linux game link: the same chat line
// again (the common case, nothing new to count) and a new vote line on every tick (read, split, log
// scan, count). CPU time is the figure that counts: the tick runs every 500 ms on the game's host. Needs an
// X display and the simulator: bench/run_link_bench.sh starts both. ZARN_GAME_SIM_COMMAND, when set, is
// the command (words split at blanks) that starts the simulator instead, e.g. Wine's loader and the
// Windows build: "/usr/lib/wine/wine64 build/release/windows-programs/tools/game_sim/windows/zarn-game-sim.exe".
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "bench_window.h"
#include "memlink/linux/linux_memory_control.h"

namespace {

constexpr const char* kTitle = "Delta Force Land Warrior,  V1.00.42 bench";
constexpr std::uint64_t kChat = 0x10FE6C0;

class NoPause final : public PausePort {
 public:
  void pause(double) override {}
};

// The program and its first arguments that start the simulator.
std::vector<std::string> simulatorCommand() {
  std::vector<std::string> words;
  if (const char* command = std::getenv("ZARN_GAME_SIM_COMMAND")) {
    std::istringstream split(command);
    for (std::string word; split >> word;)
      words.push_back(word);
  }
  if (words.empty())
    words.push_back(ZARN_GAME_SIM_PATH);
  return words;
}

struct Game {
  Game() {
    std::vector<std::string> arguments = simulatorCommand();
    // Under Wine /dev/null is Z:/dev/null, the same file.
    arguments.insert(arguments.end(), {"--title", kTitle, "--transcript", "/dev/null"});
    std::vector<char*> argv;
    for (std::string& argument : arguments)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~Game() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  void say(const std::string& line) const {
    std::string bytes = line + '\0';
    iovec local{bytes.data(), bytes.size()};
    iovec remote{reinterpret_cast<void*>(kChat), bytes.size()};
    process_vm_writev(pid, &local, 1, &remote, 1, 0);
  }
  pid_t pid = 0;
};

struct Service {
  // Waits for the window: Wine starts a program in 0.1 to several seconds.
  Service() {
    window.gameName = kTitle;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(window.gameAttached = link.OpenGame(window.gameName)) &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  NoPause pause;
  LinuxMemoryControl link{pause, nullptr};
  BenchWindow bench{link};
  frmmain& window = bench.window;
};

// Whether the service found the simulator; without it the benchmark is skipped, saying so.
bool found(const Service& service, benchmark::State& state) {
  if (!service.window.gameAttached)
    state.SkipWithError("the simulator was not found");
  return service.window.gameAttached;
}

void CollectionTickSameLine(benchmark::State& state) {
  Game game;
  Service service;
  if (!found(service, state))
    return;
  game.say("Bob: hello all");
  for (auto _ : state)
    service.window.Timer1_Timer();
}
BENCHMARK(CollectionTickSameLine);

void CollectionTickNewVote(benchmark::State& state) {
  Game game;
  Service service;
  if (!found(service, state))
    return;
  long voter = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // A fresh log and fresh counts now and then, so the log scan and the voters remembered for a count stay
    // the size a real service has (a few dozen lines and names) between its resets.
    if (voter % 50 == 0) {
      service.window.Text1.clear();
      service.window.List3.assign(16, "0");
      service.window.fairVotes.forgetAll();
    }
    game.say("Voter" + std::to_string(voter++) + ": /vote 3");
    state.ResumeTiming();
    service.window.Timer1_Timer();
  }
}
BENCHMARK(CollectionTickNewVote);

}  // namespace
