// Cost of the two ticks themselves, without drawing the window: a processing tick with nothing to do
// (sixteen roster reads from a game link that answers from memory) and a collection tick that counts a
// new vote line.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

#include "app/main_window.h"
#include "bench_window.h"
#include "common/conversions.h"
#include "support/memory_only_link.h"

namespace {

struct Service {
  Service() {
    window.gameAttached = true;
    window.playerStartAddress = "&H2000000";
    window.maxPlayerVotes = 5;
    window.maxMapVotes = "5";
    window.displaySummary = 32767;  // never: the tick stays quiet
    window.resetVotes = 32767;
    for (int slot = 0; slot < 16; ++slot) {
      link.memory["&H" + conv::hex32(0x2000000 + 16 * (slot + 1))] = "Player " + std::to_string(slot);
    }
  }
  MemoryOnlyLink link;
  BenchWindow bench{link};
  frmmain& window = bench.window;
};

void processingTickWithNoAction(benchmark::State& state) {
  Service service;
  for (auto _ : state) {
    service.window.Timer2_Timer();
    benchmark::DoNotOptimize(service.window.List1.data());
  }
}
BENCHMARK(processingTickWithNoAction);

// Each line is new; the vote log is emptied every 100 votes, as the automatic reset would, so it holds
// what a busy server collects between two resets.
void collectionTickOfANewVote(benchmark::State& state) {
  Service service;
  std::vector<std::string> lines;
  for (int i = 0; i < 100; ++i)
    lines.push_back("Player " + std::to_string(i) + ": /vote " + std::to_string(i % 16));
  std::size_t next = 0;
  for (auto _ : state) {
    if (next == lines.size()) {
      state.PauseTiming();
      next = 0;
      service.window.Text1.clear();
      service.window.List3.assign(16, "0");
      state.ResumeTiming();
    }
    service.link.memory["&H10FE6C0"] = lines[next++];
    service.window.Timer1_Timer();
  }
  benchmark::DoNotOptimize(service.window.List3.data());
}
BENCHMARK(collectionTickOfANewVote);

// Every speaker is new and the voters are never forgotten, as on a server that many pass through while
// Reset Votes is set high. The log is still emptied every 100 votes, so that only the voters grow. With
// every rule off nobody is remembered; with one vote per player each speaker is, and a vote must still cost
// the same after a million speakers as after a thousand.
void collectionTickOfANewSpeaker(benchmark::State& state) {
  Service service;
  service.window.fairVotes.settings.oneVotePerPlayer = state.range(0) != 0;
  long speaker = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (speaker % 100 == 0) {
      service.window.Text1.clear();
      service.window.List3.assign(16, "0");
    }
    service.link.memory["&H10FE6C0"] = "Speaker" + std::to_string(speaker++) + ": /vote 3";
    state.ResumeTiming();
    service.window.Timer1_Timer();
  }
  benchmark::DoNotOptimize(service.window.List3.data());
}
// The same case run for a thousand and for a million speakers, to compare the cost per vote.
const bool newSpeakerRuns = [] {
  for (const long speakers : {1000L, 1000000L}) {
    benchmark::RegisterBenchmark(("collectionTickOfANewSpeaker/speakers:" + std::to_string(speakers)).c_str(),
                                 collectionTickOfANewSpeaker)
        ->ArgName("oneVotePerPlayer")
        ->Arg(0)
        ->Arg(1)
        ->Iterations(speakers);
  }
  return true;
}();

}  // namespace
