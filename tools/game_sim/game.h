// The simulated game server: its console, its players and chat, and how it takes keys. Times are
// milliseconds since the start, handed in by the platform with every event, so the logic never reads a
// clock and behaves the same in tests.
//
// Keys: the game only takes keys while it is the active window, and like a game that polls its keyboard
// every 10 ms it misses a key pressed within 10 ms of its activation and a key released within 10 ms of
// being pressed. Every key press ends in exactly one transcript line: KEY (taken), DROPPED (inactive) or
// MISSED (too early or too short).
//
// Memory: a guard of known bytes lies right behind the console line. The game looks at it whenever it runs
// the console line and once a second; a changed guard means a program wrote past the line, which the
// transcript reports once (MEMORY CORRUPTED) before the guard is set back.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "game_sim/game_memory.h"
#include "game_sim/scenario.h"
#include "game_sim/transcript.h"

namespace gamesim {

inline constexpr std::int64_t kPollMs = 10;
inline constexpr std::int64_t kGuardCheckMs = 1000;

class Game {
 public:
  Game(GameMemory memory, Scenario scenario, Transcript& transcript);

  // The START line: who we are and where the game's data lies.
  void start(std::int64_t nowMs, std::string_view title, long pid, std::string_view window,
             std::uint64_t chatAddress, std::uint64_t consoleAddress, std::uint64_t playersAddress);
  void exit(std::int64_t nowMs, std::string_view reason);

  // WM_TAKE_FOCUS (or its Windows counterpart) made the window the active one.
  void activate(std::int64_t nowMs);
  // Another window took the focus.
  void deactivate(std::int64_t nowMs);
  void keyPress(std::string_view key, std::int64_t nowMs);
  void keyRelease(std::string_view key, std::int64_t nowMs);
  // For a platform whose keyboard is polled by the system (DirectInput) rather than by the rules above: a
  // key its poll saw go down is taken at once, and a press the window was told of that no poll ever saw
  // is reported with the platform's reason ("grave 3 ms after activation").
  void keyPolled(std::string_view key, std::int64_t nowMs);
  void keyMissed(std::string_view key, std::string_view why, std::int64_t nowMs);
  void keyDropped(std::string_view key, std::int64_t nowMs);

  // Whether the scenario wants the game's window to exist. The platform destroys or makes the window to
  // match and then tells the game with windowGone or windowBack.
  bool windowWanted() const { return windowWanted_; }
  // The window was destroyed while the process and its memory live on: the game is no longer the active
  // window, and keys still held are lost.
  void windowGone(std::int64_t nowMs);
  // A new window with the same title is up; it stays inactive until it is activated.
  void windowBack(std::int64_t nowMs, std::string_view window);

  // Runs the scenario events that are due, takes keys held for a whole poll and, a second after the last
  // look, looks at the guard behind the console line.
  void advance(std::int64_t nowMs);
  // When advance() next has a scenario event or a key to take, if ever. The guard needs no wake-up of its
  // own: the platforms call advance() at least four times a second to redraw.
  std::optional<std::int64_t> nextDueMs() const;

  bool active() const { return active_; }
  bool consoleOpen() const { return consoleOpen_; }
  int mapNumber() const { return mapNumber_; }
  const std::string& player(int slot) const { return players_[static_cast<std::size_t>(slot)]; }
  std::string chatLine() const { return readText(memory_.chat); }
  std::string consoleLine() const { return readText(memory_.console); }

 private:
  void take(const std::string& key, std::int64_t nowMs);
  void submit(std::int64_t nowMs);
  void checkGuard(std::int64_t nowMs);
  void runCommand(const std::string& command, std::int64_t nowMs);
  void removePlayer(int slot, std::string_view word, std::int64_t nowMs);
  void apply(const ScenarioEvent& event, std::int64_t nowMs);
  void setPlayer(int slot, const std::string& name);
  void setChat(const std::string& line, std::int64_t nowMs);

  GameMemory memory_;
  Scenario scenario_;
  std::size_t nextEvent_ = 0;
  Transcript& transcript_;
  std::int64_t nextGuardCheckMs_ = 0;

  bool active_ = true;
  bool windowWanted_ = true;
  std::int64_t activatedAtMs_ = 0;
  std::map<std::string, std::int64_t> pressedAtMs_;  // keys down and not yet decided

  bool consoleOpen_ = false;
  bool talkPending_ = false;
  int mapNumber_ = 1;
  std::array<std::string, kSlotCount> players_;
  std::set<std::string> banned_;
};

}  // namespace gamesim
