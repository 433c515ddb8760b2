// The link to a game that runs on this Linux host, natively or under Wine: the game is found by the
// title of its X window, its memory is read and written with process_vm_readv / process_vm_writev at the
// addresses the settings name, and keys are pressed in its window through the X server.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include "memlink/linux/copy_locks.h"
#include "memlink/linux/process_memory.h"
#include "memlink/linux/x11_session.h"
#include "memlink/link_rules.h"
#include "memlink/memory_control.h"
#include "memlink/pause.h"

class LinuxMemoryControl final : public MemoryControl {
 public:
  // `report` hears why the game cannot be reached (or that it was found), once each time that changes.
  LinuxMemoryControl(PausePort& pause, std::function<void(const std::string&)> report);

  // Finds the one window titled `gameName` on this host and checks that its process's memory may be read
  // and that no other copy of zarn-vote drives that process.
  bool OpenGame(std::string& gameName) override;

  // At most `length` bytes up to the first NUL. When the game's process is gone, the game is looked for
  // again by its title first, so a restarted game is found without a new attach.
  std::string ReadString(const std::string& address, const ReadLength& length) override;

  // The text and its terminating NUL at exactly that address, checked; nothing anywhere else. Only in the
  // game process the link was talking to: a restarted game is found again by the next read.
  void WriteString(const std::string& address, const std::string& text, bool flag) override;

  // Activates the game's window, pauses so a game that polls its keyboard takes it back, then presses
  // and releases the key with a hold long enough for a poll to see it.
  void SendKey(std::int16_t key) override;

  void Wait(const PauseSeconds& seconds) override;

  std::uint64_t attachedGame() const override { return gameSerial_; }

 private:
  // The game to talk to; raises when there is none. When its process ended, it is looked up again by its
  // title if `mayFindAgain`, else that is an error.
  linuxlink::GameWindow requireGame(bool mayFindAgain);
  bool lookUp(const std::string& title);

  PausePort& pause_;
  memlink::StateReport note_;
  linuxlink::X11Session x11_;
  std::string title_;  // the name last given to OpenGame
  std::optional<linuxlink::GameWindow> game_;
  linuxlink::ProcessWatch gameProcess_;
  pid_t gamePid_ = 0;             // the process last attached to
  std::uint64_t gameSerial_ = 0;  // counts the game processes attached to, one after another
  // Kept while attached, so that no other copy of zarn-vote drives the same game.
  linuxlink::GameLock gameLock_;
  std::string problem_;  // why the game cannot be reached, while it cannot
};
