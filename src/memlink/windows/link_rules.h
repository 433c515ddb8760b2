// The rules of the Windows game link that need no game to check: which window is the game's, how a read
// or a write of the game's memory is cut at page edges, which keys may be pressed and what the lock and
// its messages are called. Uses only the standard library; windows_memory_control.cpp feeds it the
// system's answers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winlink {

// A top-level window as EnumWindows and GetWindowTextA show it.
struct WindowEntry {
  std::uintptr_t handle = 0;
  std::uint32_t pid = 0;
  std::string title;
};

// What a search for the game's window found: one window, or why there is none to use.
struct WindowSearch {
  std::optional<WindowEntry> found;
  std::string problem;
};

// The one window whose title equals `title` byte for byte (letter case and blanks count). None, or
// several, give the problem; several are named with their processes, so an operator knows which to close.
WindowSearch matchTitle(const std::vector<WindowEntry>& windows, const std::string& title);

// Why a transfer with the game's memory failed: the system's error code and its text, and whether it
// failed because nothing is there (unmapped, or not readable), as opposed to the process itself.
struct MemoryFailure {
  unsigned long code = 0;
  std::string description;
  bool noMemory = false;
};

// Moves `length` bytes at `address`, never across a page edge, all of them or none (as
// Read/WriteProcessMemory do); false with the reason when they did not move.
using MemoryTransfer =
    std::function<bool(std::uint64_t address, char* bytes, std::size_t length, MemoryFailure& failure)>;

// The text at `address`: at most `maxLength` bytes, up to the first NUL, read one page at a time, so a
// string that runs into memory that cannot be read ends at the page edge. False when the first byte cannot
// be read; `failure` then says why.
bool readText(const MemoryTransfer& read, std::uint64_t address, std::size_t maxLength, std::size_t pageSize,
              std::string& text, MemoryFailure& failure);

// Writes exactly these bytes at `address`, one page at a time; false with the reason when any did not land.
bool writeBytes(const MemoryTransfer& write, std::uint64_t address, std::string_view bytes,
                std::size_t pageSize, MemoryFailure& failure);

// A key as SendInput presses it: the virtual key for the window's messages and the scan code for
// DirectInput, which sees nothing else (the code the US layout gives, when the layout gives none).
struct KeyStroke {
  std::uint16_t virtualKey = 0;
  std::uint16_t usScanCode = 0;
};

// The two keys the console needs (192 opens it, 13 submits its line); nothing for any other code.
std::optional<KeyStroke> strokeFor(int virtualKey);

// The name of the kernel object that a copy holds while it drives the game process `pid` that started at
// `startTime` (100 ns units since 1601): a new process that got the number of an ended game is another game.
std::string gameLockName(std::uint32_t pid, std::uint64_t startTime);

// "the game's process 1234 is already driven by another zarn-vote (process 99); ...", the holder's number
// left out when it is not known (0).
std::string gameDrivenElsewhere(std::uint32_t pid, std::uint32_t holder);

// What an operator must do when Windows refuses to open the game's process.
std::string accessRemedy();

}  // namespace winlink
