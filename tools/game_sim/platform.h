// What each operating system gives the simulator: memory at fixed addresses, and a window that carries the
// game's title, takes keys and activation and drives the game with a clock until it is told to stop.
// platform_x11.cpp implements it on Linux with Xlib.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "game_sim/game.h"
#include "game_sim/game_memory.h"
#include "game_sim/options.h"

namespace gamesim {

// The game loop's time: milliseconds since the clock was made, on a clock no change of the system time
// moves.
class Clock {
 public:
  std::int64_t ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The end of the run that --exit-after sets, if any, and how long the loop may sleep: at most until the
// game's next scheduled step or that end.
class RunLimit {
 public:
  explicit RunLimit(const Options& options) {
    if (options.exitAfterSeconds) {
      endMs_ = static_cast<std::int64_t>(*options.exitAfterSeconds * 1000.0);
    }
  }

  bool reached(std::int64_t nowMs) const { return endMs_ && nowMs >= *endMs_; }

  // `dueMs` brought forward to the game's next step and to the end of the run.
  std::int64_t wakeBy(std::int64_t dueMs, const Game& game) const {
    if (const auto gameDue = game.nextDueMs()) {
      dueMs = std::min(dueMs, *gameDue);
    }
    if (endMs_) {
      dueMs = std::min(dueMs, *endMs_);
    }
    return dueMs;
  }

 private:
  std::optional<std::int64_t> endMs_;
};

// Makes every range readable and writable at exactly its address in this process, zero-filled, for the
// whole run. Throws std::runtime_error naming the range that cannot be placed.
void reserveFixedMemory(const std::vector<MemoryRange>& ranges);

// Opens the window, writes START, runs until a signal, the window's close or --exit-after, writes EXIT.
// Throws std::runtime_error when the window or the wait for events fails.
void runGameLoop(const Options& options, Game& game);

}  // namespace gamesim
