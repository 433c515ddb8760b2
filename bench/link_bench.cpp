// The collection tick against the live game simulator, through the Linux game link: the same chat line
// again (the common case, nothing new to count) and a new vote line on every tick (read, split, log
// scan, count). CPU time is the figure that counts: the tick runs every 500 ms on the game's host. Needs an
// X display and the simulator: bench/run_link_bench.sh starts both.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

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

struct Game {
  Game() {
    pid = fork();
    if (pid == 0) {
      execl(ZARN_GAME_SIM_PATH, ZARN_GAME_SIM_PATH, "--title", kTitle, "--transcript", "/dev/null",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
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
  Service() {
    window.gameName = kTitle;
    window.gameAttached = link.OpenGame(window.gameName);
  }
  NoPause pause;
  LinuxMemoryControl link{pause, nullptr};
  BenchWindow bench{link};
  frmmain& window = bench.window;
};

void CollectionTickSameLine(benchmark::State& state) {
  Game game;
  game.say("Bob: hello all");
  Service service;
  if (!service.window.gameAttached) {
    state.SkipWithError("the simulator was not found");
    return;
  }
  for (auto _ : state)
    service.window.Timer1_Timer();
}
BENCHMARK(CollectionTickSameLine);

void CollectionTickNewVote(benchmark::State& state) {
  Game game;
  Service service;
  if (!service.window.gameAttached) {
    state.SkipWithError("the simulator was not found");
    return;
  }
  long voter = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // A fresh log now and then, so the log scan stays the size a real one has (a few dozen lines).
    if (voter % 50 == 0) {
      service.window.Text1.clear();
      service.window.List3.assign(16, "0");
    }
    game.say("Voter" + std::to_string(voter++) + ": /vote 3");
    state.ResumeTiming();
    service.window.Timer1_Timer();
  }
}
BENCHMARK(CollectionTickNewVote);

}  // namespace
