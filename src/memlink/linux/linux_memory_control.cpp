#include "memlink/linux/linux_memory_control.h"

#include <cstdint>
#include <utility>

#include "memlink/linux/process_memory.h"

using memlink::gameAddress;
using memlink::kAfterActivation;
using memlink::kKeyHold;

LinuxMemoryControl::LinuxMemoryControl(PausePort& pause, std::function<void(const std::string&)> report)
    : pause_(pause), note_(std::move(report)) {}

bool LinuxMemoryControl::lookUp(const std::string& title) {
  game_.reset();
  if (title.empty()) {
    // Toolkits and Wine make windows with empty titles: an empty name would attach to one of those.
    problem_ = "no game name set (Name in section Game of settings.ini is empty)";
    note_("game not found: " + problem_);
    return false;
  }
  const linuxlink::WindowSearch search = x11_.find(title);
  if (!search.found) {
    problem_ = search.problem;
    note_("game not found: " + problem_);
    return false;
  }
  linuxlink::ProcessMemoryFailure failure;
  if (!linuxlink::memoryReadable(search.found->pid, failure)) {
    problem_ = "the game's process " + std::to_string(search.found->pid) + ": " + failure.description;
    note_("game not usable: " + problem_);
    return false;
  }
  std::string lockNote;
  if (!gameLock_.take(search.found->pid, lockNote)) {
    problem_ = lockNote;
    note_("game not usable: " + problem_);
    return false;
  }
  if (!lockNote.empty())
    note_(lockNote);
  game_ = search.found;
  // The same number can only be the same process while that process lives: a restarted game that got
  // the old number back is another game all the same.
  if (gameSerial_ == 0 || game_->pid != gamePid_ || gameProcess_.ended())
    ++gameSerial_;
  gamePid_ = game_->pid;
  gameProcess_ = linuxlink::ProcessWatch(game_->pid);
  problem_.clear();
  note_("game found: \"" + title + "\", process " + std::to_string(game_->pid));
  return true;
}

bool LinuxMemoryControl::OpenGame(std::string& gameName) {
  title_ = gameName;
  return lookUp(title_);
}

linuxlink::GameWindow LinuxMemoryControl::requireGame(bool mayFindAgain) {
  if (game_ && !gameProcess_.ended())
    return *game_;
  // Keys and writes go only to the game they began with: the rest of a console sequence must not land in
  // a game that was started again meanwhile. The next read finds the new game. A search that found no game
  // has let go of the one attached before, which still counts here.
  if (!mayFindAgain && game_)
    throw MemoryControlError("the game's process " + std::to_string(game_->pid) + " has ended");
  if (!mayFindAgain && gameSerial_ != 0)
    throw MemoryControlError("the game's process " + std::to_string(gamePid_) + " is no longer attached (" +
                             problem_ + "); the next read looks for the game again");
  if (title_.empty() || !lookUp(title_))
    throw MemoryControlError("the game is not reachable: " + (problem_.empty() ? "not attached" : problem_));
  return *game_;
}

std::string LinuxMemoryControl::ReadString(const std::string& address, const ReadLength& length) {
  const std::uint64_t at = gameAddress(address);
  const std::size_t maxLength = memlink::readLimit(length);
  std::string text;
  linuxlink::ProcessMemoryFailure failure;
  if (!linuxlink::readText(requireGame(true).pid, at, maxLength, text, failure))
    throw MemoryControlError("cannot read game memory at " + address + ": " + failure.description);
  return text;
}

void LinuxMemoryControl::WriteString(const std::string& address, const std::string& text, bool) {
  const std::uint64_t at = gameAddress(address);
  std::string bytes = text;
  bytes.push_back('\0');
  linuxlink::ProcessMemoryFailure failure;
  if (!linuxlink::writeBytes(requireGame(false).pid, at, bytes, failure))
    throw MemoryControlError("cannot write game memory at " + address + ": " + failure.description);
}

void LinuxMemoryControl::SendKey(std::int16_t key) {
  const auto keysym = linuxlink::keysymOf(key);
  if (!keysym)
    throw MemoryControlError("no key for virtual-key code " + std::to_string(key));
  linuxlink::GameWindow game = requireGame(false);
  if (!x11_.exists(game.window)) {
    // A game whose window closed while it runs gets a new one with the same title; a window that another
    // process shows under that title is another game.
    const std::uint64_t sameGame = gameSerial_;
    if (!lookUp(title_))
      throw MemoryControlError("cannot press a key in the game: " + problem_);
    if (gameSerial_ != sameGame)
      throw MemoryControlError("cannot press a key in the game: its window now belongs to process " +
                               std::to_string(game_->pid));
    game = *game_;
  }
  std::string problem = "the game's window is gone";
  const bool sent = x11_.activate(game.window) && (pause_.pause(kAfterActivation), true) &&
                    x11_.sendKey(game.window, *keysym, true, problem) && (pause_.pause(kKeyHold), true) &&
                    x11_.sendKey(game.window, *keysym, false, problem);
  if (!sent)
    throw MemoryControlError("cannot press key " + std::to_string(key) + " in the game: " + problem);
}

void LinuxMemoryControl::Wait(const PauseSeconds& seconds) {
  pause_.pause(pauseToSeconds(seconds));
}
