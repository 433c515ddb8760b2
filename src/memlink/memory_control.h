// The link to the running game: attach, read and write its memory, press keys in its window, pause.
// The system reaches the game through these five operations only, so any implementation with the
// same behaviour can take the place of another (the Linux link, a scripted one in tests).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "common/runtime_error.h"

// Raised by ReadString, WriteString, SendKey and Wait when the game cannot be reached; the text says why
// ("cannot read game memory at &H10FE6C0: no such process").
class MemoryControlError : public RuntimeError {
 public:
  using RuntimeError::RuntimeError;
};

// The length handed to ReadString: a 16-bit number for the chat line (90), the text "16" for a roster
// slot. Both forms are kept apart so the calls can be checked exactly as they are made.
using ReadLength = std::variant<std::int16_t, std::string>;

// The pause handed to Wait: 0.6 as a double between console steps, 4 as a 16-bit number before a map
// change.
using PauseSeconds = std::variant<double, std::int16_t>;

// Virtual-key codes the console channel presses.
inline constexpr std::int16_t kKeyConsole = 192;  // VK_OEM_3, opens the game console
inline constexpr std::int16_t kKeyEnter = 13;     // VK_RETURN, submits the console line

class MemoryControl {
 public:
  virtual ~MemoryControl() = default;

  // Attaches to the running game that the name identifies. A game that is not running gives false,
  // never an error; calling again, attached or not, is harmless. The name is passed by reference.
  virtual bool OpenGame(std::string& gameName) = 0;

  // The text stored at the address ("&H" notation), at most `length` characters, without its terminator;
  // empty when nothing is stored.
  virtual std::string ReadString(const std::string& address, const ReadLength& length) = 0;

  // Places the text at the address (the console input line) so that a following Enter submits it.
  virtual void WriteString(const std::string& address, const std::string& text, bool flag) = 0;

  // One press of the key in the game's window.
  virtual void SendKey(std::int16_t key) = 0;

  // Returns once the pause has passed.
  virtual void Wait(const PauseSeconds& seconds) = 0;

  // Which game process the link talks to: a number that changes whenever the link attaches to another
  // process than before (the game restarted and was found again by its title), 0 before the first attach.
  // A link that cannot tell gives 0 throughout.
  virtual std::uint64_t attachedGame() const { return 0; }
};

// Seconds of a pause as a plain number, whichever form it was given in.
inline double pauseToSeconds(const PauseSeconds& seconds) {
  return std::visit([](auto value) { return static_cast<double>(value); }, seconds);
}
