// zarn-game-sim: a stand-in for the game server for the demo and the end-to-end tests.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <span>
#include <string_view>
#include <vector>

#include "game_sim/game.h"
#include "game_sim/game_memory.h"
#include "game_sim/options.h"
#include "game_sim/platform.h"
#include "game_sim/scenario.h"
#include "game_sim/transcript.h"

namespace {

std::span<char> bytesAt(std::uint64_t address, std::size_t size) {
  return {reinterpret_cast<char*>(static_cast<std::uintptr_t>(address)), size};
}

}  // namespace

int main(int argc, char** argv) {
  using namespace gamesim;
  Options options;
  try {
    options = parseOptions(std::vector<std::string_view>(argv + 1, argv + argc));
  } catch (const UsageError& error) {
    std::fprintf(stderr, "zarn-game-sim: %s\n%s", error.what(), kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    Scenario scenario = options.scenarioPath.empty() ? Scenario{} : loadScenario(options.scenarioPath);
    const std::vector<MemoryRange> ranges = memoryRanges(options.chatAddress, options.consoleAddress,
                                                         options.consoleBytes, options.playersAddress);
    FileSink sink(options.transcriptPath);
    Transcript transcript([&sink](std::string_view line) { sink(line); });
    reserveFixedMemory(ranges);
    const GameMemory memory{bytesAt(options.chatAddress, kChatBytes),
                            bytesAt(options.consoleAddress, options.consoleBytes),
                            bytesAt(options.playersAddress, kPlayerTableBytes),
                            bytesAt(options.consoleAddress + options.consoleBytes, kGuardBytes)};
    Game game(memory, std::move(scenario), transcript);
    runGameLoop(options, game);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zarn-game-sim: %s\n", error.what());
    return 1;
  }
}
