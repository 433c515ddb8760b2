// Parser of the simulator's command line.
#include "game_sim/options.h"

#include <charconv>
#include <cmath>

namespace gamesim {

const char* const kUsage =
    "usage: zarn-game-sim [--title TEXT] [--chat ADDR] [--console ADDR] [--console-bytes N]\n"
    "                     [--players ADDR] [--scenario FILE] [--transcript FILE] [--exit-after SECONDS]\n"
    "Addresses in &H or 0x hexadecimal notation. Slot k of the player table lies at players + 16*(k+1).\n"
    "The console line holds N bytes with its NUL (16 to 4096, 256 unless given).\n";

std::uint64_t parseAddress(std::string_view text) {
  std::string_view digits = text;
  if (digits.size() > 2 && digits[0] == '&' && (digits[1] == 'H' || digits[1] == 'h')) {
    digits.remove_prefix(2);
  } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
  } else {
    throw UsageError("address \"" + std::string(text) + "\" must start with &H or 0x");
  }
  std::uint64_t address = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), address, 16);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.front() == '-' ||
      digits.front() == '+') {
    throw UsageError("address \"" + std::string(text) + "\" is not a hexadecimal number");
  }
  return address;
}

Options parseOptions(const std::vector<std::string_view>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view option = arguments[i];
    if (option == "--help" || option == "-h") {
      options.help = true;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      throw UsageError(option.starts_with("--") ? std::string(option) + " needs a value"
                                                : "unknown argument " + std::string(option));
    }
    const std::string_view value = arguments[++i];
    if (option == "--title") {
      options.title = value;
    } else if (option == "--chat") {
      options.chatAddress = parseAddress(value);
    } else if (option == "--console") {
      options.consoleAddress = parseAddress(value);
    } else if (option == "--console-bytes") {
      std::size_t bytes = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), bytes);
      if (error != std::errc() || end != value.data() + value.size() || bytes < kMinConsoleBytes ||
          bytes > kMaxConsoleBytes) {
        throw UsageError("--console-bytes needs a whole number from " + std::to_string(kMinConsoleBytes) +
                         " to " + std::to_string(kMaxConsoleBytes) + ", not \"" + std::string(value) + "\"");
      }
      options.consoleBytes = bytes;
    } else if (option == "--players") {
      options.playersAddress = parseAddress(value);
    } else if (option == "--scenario") {
      options.scenarioPath = value;
    } else if (option == "--transcript") {
      options.transcriptPath = value;
    } else if (option == "--exit-after") {
      double seconds = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
          seconds <= 0) {
        throw UsageError("--exit-after needs a positive number of seconds, not \"" + std::string(value) +
                         "\"");
      }
      options.exitAfterSeconds = seconds;
    } else {
      throw UsageError("unknown option " + std::string(option));
    }
  }
  return options;
}

}  // namespace gamesim
