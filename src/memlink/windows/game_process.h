// The game's process as the Windows link holds it: a handle that reads and writes its memory and tells
// when it has ended, and the lock that keeps other copies of zarn-vote away from it while this one drives it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "memlink/windows/link_rules.h"
#include "memlink/windows/system_handles.h"

namespace winlink {

class GameProcess {
 public:
  // Opens process `pid` for reading and writing its memory; nothing, with `problem` saying why, when it
  // cannot be opened or has already ended.
  static std::optional<GameProcess> open(DWORD pid, std::string& problem);

  DWORD pid() const { return pid_; }
  // When the process started (100 ns units since 1601): with the pid, it tells one process from another.
  std::uint64_t startTime() const { return startTime_; }
  // True once the process has ended; the handle keeps its number from being given to another process.
  bool ended() const;

  // See readText and writeBytes in link_rules.h. A 64-bit link reaches a 32-bit game at the same addresses.
  bool readText(std::uint64_t address, std::size_t maxLength, std::string& text,
                MemoryFailure& failure) const;
  bool writeBytes(std::uint64_t address, std::string_view bytes, MemoryFailure& failure) const;

 private:
  GameProcess(Handle process, DWORD pid, std::uint64_t startTime)
      : process_(std::move(process)), pid_(pid), startTime_(startTime) {}

  Handle process_;
  DWORD pid_ = 0;
  std::uint64_t startTime_ = 0;
};

// A named kernel object (gameLockName) that a copy keeps while it drives one game process. Windows frees
// the name with its last handle, however the holder ends. It is a small shared memory that holds the
// holder's process number, for the copies it stops.
class GameLock {
 public:
  // Whether this copy may drive `game`. True when it holds the game's lock, or when no lock can be had
  // for it: `message` then says so, the first time for that game only. False when another copy holds it;
  // `message` says which. A lock held for another game is let go first.
  bool take(const GameProcess& game, std::string& message);

 private:
  std::string name_;  // the lock of the game taken, held or not
  Handle lock_;
};

}  // namespace winlink
