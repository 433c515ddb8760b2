// Where the simulated game keeps what other programs read and write: the chat line, the console input line
// and the player table. The platform places these bytes at fixed addresses; the game logic only sees spans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gamesim {

inline constexpr std::size_t kChatLength = 90;              // visible characters of the chat line
inline constexpr std::size_t kChatBytes = kChatLength + 1;  // and its terminating NUL
// The console input line, NUL included: 256 bytes unless --console-bytes says otherwise.
inline constexpr std::size_t kDefaultConsoleBytes = 256;
inline constexpr std::size_t kMinConsoleBytes = 16;
inline constexpr std::size_t kMaxConsoleBytes = 4096;
// Known bytes right behind the console line that a program writing past the line overwrites.
inline constexpr std::size_t kGuardBytes = 16;
inline constexpr int kSlotCount = 16;
inline constexpr std::size_t kSlotBytes = 16;  // a name of at most 15 bytes and its NUL
// Slot k lies at table + 16 * (k + 1): the first 16 bytes of the table hold no player.
inline constexpr std::size_t kPlayerTableBytes = kSlotBytes * (kSlotCount + 1);

struct GameMemory {
  std::span<char> chat;     // kChatBytes
  std::span<char> console;  // the console line's bytes
  std::span<char> players;  // kPlayerTableBytes, starting at the player table address
  std::span<char> guard;    // kGuardBytes right after the console line

  std::span<char> slot(int k) const {
    return players.subspan(kSlotBytes * static_cast<std::size_t>(k + 1), kSlotBytes);
  }
};

// One block of memory that must exist at exactly this address.
struct MemoryRange {
  std::uint64_t address;
  std::size_t size;
  std::string what;  // "chat line", named in errors
};

// Text up to the first NUL or the end of the span.
std::string readText(std::span<const char> bytes);
// Stores at most bytes.size() - 1 bytes of the text and zeroes the rest, so the span always ends in NUL.
void writeText(std::span<char> bytes, std::string_view text);

// The blocks of the three addresses, the console line's with its guard behind it; throws
// std::invalid_argument naming the two that overlap.
std::vector<MemoryRange> memoryRanges(std::uint64_t chat, std::uint64_t console, std::size_t consoleBytes,
                                      std::uint64_t players);

// Fills the guard with its known bytes.
void fillGuard(std::span<char> guard);
// How many of the guard's bytes differ from the known ones.
std::size_t overwrittenGuardBytes(std::span<const char> guard);

// Address in the notation the game's settings use: "&H" and uppercase hexadecimal digits.
std::string formatAddress(std::uint64_t address);

}  // namespace gamesim
