// The operator's pending requests, shared by the main window, the punt/ban dialog and the processing
// tick. The window and the dialog only raise them; only the processing tick lowers a flag, once the
// request's last command has gone out to the game.
#pragma once

#include <cstdint>
#include <functional>

struct Globals {
  std::int16_t puntPlayerNumber = 0;
  bool puntRequested = false;
  std::int16_t banPlayerNumber = 0;
  bool banRequested = false;
  bool clearVotesRequested = false;
  bool nextMapRequested = false;

  // How many times each request was raised. The processing tick notes the count when a request's turn
  // comes and lowers the flag afterwards only if no raise came in while it was sending the commands:
  // the operator may act during any of its pauses, after the command already went out.
  std::uint32_t puntRaises = 0;
  std::uint32_t banRaises = 0;
  std::uint32_t clearVotesRaises = 0;
  std::uint32_t nextMapRaises = 0;

  // Told after every raise, so that the main window can act at once when it is set to.
  std::function<void()> raised;

  void raisePunt(std::int16_t playerNumber) {
    puntPlayerNumber = playerNumber;
    puntRequested = true;
    ++puntRaises;
    tell();
  }
  void raiseBan(std::int16_t playerNumber) {
    banPlayerNumber = playerNumber;
    banRequested = true;
    ++banRaises;
    tell();
  }
  void raiseClearVotes() {
    clearVotesRequested = true;
    ++clearVotesRaises;
    tell();
  }
  void raiseNextMap() {
    nextMapRequested = true;
    ++nextMapRaises;
    tell();
  }

 private:
  void tell() const {
    if (raised)
      raised();
  }
};
