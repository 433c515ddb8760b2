// The operator's pending requests, shared by the main window, the punt/ban dialog and the processing
// tick. The window and the dialog only raise them; only the processing tick lowers a flag, once the
// request's last command has gone out to the game.
#pragma once

#include <cstdint>

struct Globals {
  std::int16_t puntPlayerNumber = 0;
  bool puntRequested = false;
  std::int16_t banPlayerNumber = 0;
  bool banRequested = false;
  bool clearVotesRequested = false;
  bool nextMapRequested = false;
};
