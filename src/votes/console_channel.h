// The only way the system acts on the game: open the game console with its key, place a command in the
// console's input line in memory and press Enter. Chat messages to all players are the console command
// "talk" followed by the message on a line of its own.
#pragma once

#include <string>

#include "app/host.h"
#include "memlink/memory_control.h"

// How one chat message is paced: where the window may handle its events in between, and whether the
// last pause is the long one that comes before a map change.
struct ChatSequence {
  enum class LastPause {
    Short,          // Wait 0.6
    YieldThenLong,  // yield, then Wait 4
    Long,           // Wait 4
  };
  bool yieldAfterConsoleKey = false;  // after the console key and its pause, before "talk" is written
  bool yieldAfterTalk = false;        // after "talk" was submitted, before its pause
  LastPause lastPause = LastPause::Short;
  bool yieldAfter = false;  // after the whole message
};

namespace chat {
inline constexpr ChatSequence kPlain{};
inline constexpr ChatSequence kThenYield{false, false, ChatSequence::LastPause::Short, true};
// The first line of the periodic summary.
inline constexpr ChatSequence kYieldAfterTalk{false, true, ChatSequence::LastPause::Short, false};
// The notice before a map change the players voted for.
inline constexpr ChatSequence kYieldThenLongPause{false, false, ChatSequence::LastPause::YieldThenLong,
                                                  false};
// The notice before a map change the operator asked for.
inline constexpr ChatSequence kYieldAfterConsoleKeyThenLongPause{true, false, ChatSequence::LastPause::Long,
                                                                 false};
}  // namespace chat

class ConsoleChannel {
 public:
  // The console address is read at every write, so a new address from a reload in the middle of a
  // sequence is used from the next write on.
  ConsoleChannel(MemoryControl& memory, HostPort& host, const std::string& consoleAddress);

  // Console key, pause, write the command, pause, Enter, pause.
  void SendConsoleCommand(const std::string& text);

  // "talk" as a console command, then the text written to the still open console, pause, Enter, pause.
  void SendChatMessage(const std::string& text, const ChatSequence& sequence = chat::kPlain);

 private:
  void shortPause();
  void longPause();

  MemoryControl& memory_;
  HostPort& host_;
  const std::string& consoleAddress_;
};
