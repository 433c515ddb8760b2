// What each operating system gives the simulator: memory at fixed addresses, and a window that carries the
// game's title, takes keys and activation and drives the game with a clock until it is told to stop.
// platform_x11.cpp implements it on Linux with Xlib.
#pragma once

#include <vector>

#include "game_sim/game.h"
#include "game_sim/game_memory.h"
#include "game_sim/options.h"

namespace gamesim {

// Makes every range readable and writable at exactly its address in this process, zero-filled, for the
// whole run. Throws std::runtime_error naming the range that cannot be placed.
void reserveFixedMemory(const std::vector<MemoryRange>& ranges);

// Opens the window, writes START, runs until a signal, the window's close or --exit-after, writes EXIT.
// Returns the process exit code; reasons for a failure go to stderr.
int runGameLoop(const Options& options, Game& game);

}  // namespace gamesim
