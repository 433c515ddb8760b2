// A game link that never attaches: the program's link until a link to a real game process is built in.
// The service then behaves as with a game that is not running, and tells the operator so.
#pragma once

#include <cstdint>
#include <string>

#include "memlink/memory_control.h"
#include "memlink/pause.h"

inline constexpr const char* kNotAttached = "not attached to the game";

class UnattachedLink final : public MemoryControl {
 public:
  explicit UnattachedLink(PausePort& pause) : pause_(pause) {}

  bool OpenGame(std::string& gameName) override;
  std::string ReadString(const std::string& address, const ReadLength& length) override;
  void WriteString(const std::string& address, const std::string& text, bool flag) override;
  void SendKey(std::int16_t key) override;
  void Wait(const PauseSeconds& seconds) override;

 private:
  PausePort& pause_;
};
