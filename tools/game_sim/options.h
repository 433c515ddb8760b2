// The simulator's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "game_sim/game_memory.h"

namespace gamesim {

struct Options {
  std::string title = "Delta Force Land Warrior,  V1.00.42";  // two blanks after the comma, as the game has
  std::uint64_t chatAddress = 0x10FE6C0;
  std::uint64_t consoleAddress = 0x11038DC;
  std::size_t consoleBytes = kDefaultConsoleBytes;  // the console line, NUL included
  std::uint64_t playersAddress = 0x1100000;         // the game's is unknown; ours lies clear of the other two
  std::string scenarioPath;                         // empty: nobody joins
  std::string transcriptPath;                       // empty: standard output
  std::optional<double> exitAfterSeconds;
  bool help = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Arguments without the program name; throws UsageError naming the argument that is wrong.
Options parseOptions(const std::vector<std::string_view>& arguments);

// "&H10FE6C0", "&h10fe6c0" or "0x10FE6C0"; throws UsageError otherwise.
std::uint64_t parseAddress(std::string_view text);

extern const char* const kUsage;

}  // namespace gamesim
