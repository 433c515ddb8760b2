// The link to a game that runs on this Windows desktop: the game is found by the title of its top-level
// window, its memory is read and written with ReadProcessMemory / WriteProcessMemory at the addresses the
// settings name, and keys are pressed with SendInput while its window is in front.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "memlink/link_rules.h"
#include "memlink/memory_control.h"
#include "memlink/pause.h"
#include "memlink/windows/game_process.h"

class WindowsMemoryControl final : public MemoryControl {
 public:
  // `report` hears why the game cannot be reached (or that it was found), once each time that changes.
  WindowsMemoryControl(PausePort& pause, std::function<void(const std::string&)> report);

  // Finds the one top-level window titled `gameName`, opens its process and checks that no other copy of
  // zarn-vote drives that process.
  bool OpenGame(std::string& gameName) override;

  // At most `length` bytes up to the first NUL. When the game's process has ended, the game is looked for
  // again by its title first, so a restarted game is found without a new attach.
  std::string ReadString(const std::string& address, const ReadLength& length) override;

  // The text and its terminating NUL at exactly that address; only in the game process the link was
  // talking to: a restarted game is found again by the next read.
  void WriteString(const std::string& address, const std::string& text, bool flag) override;

  // Brings the game's window to the front, pauses so a game that polls its keyboard takes it back, then
  // presses and releases the key with a hold long enough for a poll to see it.
  void SendKey(std::int16_t key) override;

  void Wait(const PauseSeconds& seconds) override;

  std::uint64_t attachedGame() const override { return gameSerial_; }

 private:
  // The game to talk to; raises when there is none. When its process ended, it is looked up again by its
  // title if `mayFindAgain`, else that is an error.
  const winlink::GameProcess& requireGame(bool mayFindAgain);
  bool lookUp(const std::string& title);
  void refuse(const std::string& state, std::string problem);
  // Brings the window to the front within a bounded number of tries; raises when it stays behind.
  void activate(HWND window);

  PausePort& pause_;
  memlink::StateReport note_;
  std::string title_;  // the name last given to OpenGame
  std::optional<winlink::GameProcess> game_;
  HWND window_ = nullptr;
  DWORD gamePid_ = 0;             // the process last attached to
  std::uint64_t gameStart_ = 0;   // and when it started
  std::uint64_t gameSerial_ = 0;  // counts the game processes attached to, one after another
  // Kept while attached, so that no other copy of zarn-vote drives the same game.
  winlink::GameLock gameLock_;
  std::string problem_;  // why the game cannot be reached, while it cannot
};
