#include "memlink/windows/windows_memory_control.h"

#include <utility>

#include "memlink/windows/game_window.h"

namespace {

// Windows may need a moment to report the new front window; another program may also take the front
// again at once. Both are given a few tries, not forever.
constexpr int kFrontTries = 10;
constexpr double kFrontRetry = 0.02;
constexpr int kActivations = 3;

}  // namespace

using memlink::gameAddress;
using memlink::kAfterActivation;
using memlink::kKeyHold;

WindowsMemoryControl::WindowsMemoryControl(PausePort& pause, std::function<void(const std::string&)> report)
    : pause_(pause), note_(std::move(report)) {}

void WindowsMemoryControl::refuse(const std::string& state, std::string problem) {
  problem_ = std::move(problem);
  note_(state + ": " + problem_);
}

bool WindowsMemoryControl::lookUp(const std::string& title) {
  game_.reset();
  window_ = nullptr;
  if (title.empty()) {
    // Windows without a title are plenty (Wine's own among them): an empty name would pick one of those.
    refuse("game not found", "no game name set (Name in section Game of settings.ini is empty)");
    return false;
  }
  const winlink::WindowSearch search = winlink::matchTitle(winlink::topLevelWindows(title.size()), title);
  if (!search.found) {
    refuse("game not found", search.problem);
    return false;
  }
  std::string problem;
  std::optional<winlink::GameProcess> game = winlink::GameProcess::open(search.found->pid, problem);
  if (!game) {
    refuse("game not usable", problem);
    return false;
  }
  std::string lockNote;
  if (!gameLock_.take(*game, lockNote)) {
    refuse("game not usable", lockNote);
    return false;
  }
  if (!lockNote.empty())
    note_(lockNote);
  if (gameSerial_ == 0 || game->pid() != gamePid_ || game->startTime() != gameStart_)
    ++gameSerial_;
  gamePid_ = game->pid();
  gameStart_ = game->startTime();
  window_ = reinterpret_cast<HWND>(search.found->handle);
  game_ = std::move(game);
  problem_.clear();
  note_("game found: \"" + title + "\", process " + std::to_string(gamePid_));
  return true;
}

bool WindowsMemoryControl::OpenGame(std::string& gameName) {
  title_ = gameName;
  return lookUp(title_);
}

const winlink::GameProcess& WindowsMemoryControl::requireGame(bool mayFindAgain) {
  if (game_ && !game_->ended())
    return *game_;
  // Keys and writes go only to the game they began with: the rest of a console sequence must not land in
  // a game that was started again meanwhile. The next read finds the new game. A search that found no game
  // has let go of the one attached before, which still counts here.
  if (!mayFindAgain && game_)
    throw MemoryControlError("the game's process " + std::to_string(game_->pid()) + " has ended");
  if (!mayFindAgain && gameSerial_ != 0)
    throw MemoryControlError("the game's process " + std::to_string(gamePid_) + " is no longer attached (" +
                             problem_ + "); the next read looks for the game again");
  if (title_.empty() || !lookUp(title_))
    throw MemoryControlError("the game is not reachable: " + (problem_.empty() ? "not attached" : problem_));
  return *game_;
}

std::string WindowsMemoryControl::ReadString(const std::string& address, const ReadLength& length) {
  const std::uint64_t at = gameAddress(address);
  const std::size_t maxLength = memlink::readLimit(length);
  std::string text;
  winlink::MemoryFailure failure;
  if (!requireGame(true).readText(at, maxLength, text, failure))
    throw MemoryControlError("cannot read game memory at " + address + ": " + failure.description);
  return text;
}

void WindowsMemoryControl::WriteString(const std::string& address, const std::string& text, bool) {
  const std::uint64_t at = gameAddress(address);
  std::string bytes = text;
  bytes.push_back('\0');
  winlink::MemoryFailure failure;
  if (!requireGame(false).writeBytes(at, bytes, failure))
    throw MemoryControlError("cannot write game memory at " + address + ": " + failure.description);
}

void WindowsMemoryControl::activate(HWND window) {
  std::string problem;
  for (int tries = 0; tries < kFrontTries; ++tries) {
    if (winlink::bringToFront(window, problem))
      return;
    pause_.pause(kFrontRetry);
  }
  throw MemoryControlError("cannot bring the game's window to the front: " + problem);
}

void WindowsMemoryControl::SendKey(std::int16_t key) {
  const auto stroke = winlink::strokeFor(key);
  if (!stroke)
    throw MemoryControlError("no key for virtual-key code " + std::to_string(key));
  const DWORD pid = requireGame(false).pid();
  if (!winlink::windowOf(window_, pid)) {
    // A game whose window closed while it runs gets a new one with the same title; a window that another
    // process shows under that title is another game.
    const std::uint64_t sameGame = gameSerial_;
    if (!lookUp(title_))
      throw MemoryControlError("cannot press a key in the game: " + problem_);
    if (gameSerial_ != sameGame)
      throw MemoryControlError("cannot press a key in the game: its window now belongs to process " +
                               std::to_string(gamePid_));
  }
  // Keys go to whichever window is in front: another program that took the front during the pause is
  // pushed back before the key, and the game gets its pause again to take its keyboard back.
  for (int activation = 0;; ++activation) {
    if (activation == kActivations)
      throw MemoryControlError("cannot press key " + std::to_string(key) +
                               " in the game: another window keeps taking the front");
    activate(window_);
    pause_.pause(kAfterActivation);
    if (GetForegroundWindow() == window_)
      break;
  }
  std::string problem;
  if (!winlink::sendKey(*stroke, true, problem))
    throw MemoryControlError("cannot press key " + std::to_string(key) + " in the game: " + problem);
  pause_.pause(kKeyHold);
  if (!winlink::sendKey(*stroke, false, problem))
    throw MemoryControlError("cannot release key " + std::to_string(key) + " in the game: " + problem);
}

void WindowsMemoryControl::Wait(const PauseSeconds& seconds) {
  pause_.pause(pauseToSeconds(seconds));
}
