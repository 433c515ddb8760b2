// Text in fixed-size memory blocks and the layout checks of the three blocks.
#include "game_sim/game_memory.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace gamesim {
namespace {

// High bytes, each one different: no text a game or a steering program writes holds them in this order.
char guardByte(std::size_t index) {
  return static_cast<char>(0xA0 + index);
}

}  // namespace

std::string readText(std::span<const char> bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), '\0');
  return std::string(bytes.begin(), end);
}

void writeText(std::span<char> bytes, std::string_view text) {
  if (bytes.empty()) {
    return;
  }
  const std::size_t length = std::min(text.size(), bytes.size() - 1);
  std::memcpy(bytes.data(), text.data(), length);
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(length), bytes.end(), '\0');
}

std::vector<MemoryRange> memoryRanges(std::uint64_t chat, std::uint64_t console, std::size_t consoleBytes,
                                      std::uint64_t players) {
  std::vector<MemoryRange> ranges{{chat, kChatBytes, "chat line"},
                                  {console, consoleBytes + kGuardBytes, "console line"},
                                  {players, kPlayerTableBytes, "player table"}};
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    const MemoryRange& a = ranges[i];
    if (a.address == 0 || a.address + a.size < a.address) {
      throw std::invalid_argument("the " + a.what + " cannot lie at " + formatAddress(a.address));
    }
    for (std::size_t j = i + 1; j < ranges.size(); ++j) {
      const MemoryRange& b = ranges[j];
      if (a.address < b.address + b.size && b.address < a.address + a.size) {
        throw std::invalid_argument("the " + a.what + " at " + formatAddress(a.address) + " (" +
                                    std::to_string(a.size) + " bytes) overlaps the " + b.what + " at " +
                                    formatAddress(b.address) + " (" + std::to_string(b.size) + " bytes)");
      }
    }
  }
  return ranges;
}

void fillGuard(std::span<char> guard) {
  for (std::size_t i = 0; i < guard.size(); ++i) {
    guard[i] = guardByte(i);
  }
}

std::size_t overwrittenGuardBytes(std::span<const char> guard) {
  std::size_t changed = 0;
  for (std::size_t i = 0; i < guard.size(); ++i) {
    if (guard[i] != guardByte(i)) {
      ++changed;
    }
  }
  return changed;
}

std::string formatAddress(std::uint64_t address) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[address % 16]);
    address /= 16;
  } while (address != 0);
  return "&H" + digits;
}

}  // namespace gamesim
