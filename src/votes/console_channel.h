// The only way the system acts on the game: open the game console with its key, place a command in the
// console's input line in memory and press Enter. Chat messages to all players are the console command
// "talk" followed by the message on a line of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Told of a console text that was longer than the console line and cut to its first `keptBytes` bytes.
using ConsoleTextCut = std::function<void(const std::string& text, std::size_t keptBytes)>;

class ConsoleChannel {
 public:
  // The console address and size are read at every use, so new values from a reload in the middle of a
  // sequence are used from the next step on.
  ConsoleChannel(MemoryControl& memory, HostPort& host, const std::string& consoleAddress,
                 const std::int16_t& consoleSize, ConsoleTextCut textCut = {});

  // Console key, pause, write the command, pause, Enter, pause. `stillWanted`, when given, is asked right
  // before the console key and again right before Enter, the moment the game carries the command out: a
  // command no longer wanted sends no key at all, or is wiped from the console line before its Enter. True
  // when the command went out; false too when another game process was attached half-way.
  bool SendConsoleCommand(const std::string& text, const std::function<bool()>& stillWanted = {});

  // "talk" as a console command, then the text written to the still open console, pause, Enter, pause.
  void SendChatMessage(const std::string& text, const ChatSequence& sequence = chat::kPlain);

 private:
  // Marks a sequence from its start to its end, a failure included, for a host that must not stop the
  // program half-way through one.
  class Sequence {
   public:
    explicit Sequence(ConsoleChannel& channel);
    ~Sequence();
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

   private:
    HostPort& host_;
  };

  // The first step of every sequence: a console address that cannot be read fails the sequence before any
  // key is pressed, so a bad address never leaves the game's console toggled open. Returns the game process
  // the sequence is for (MemoryControl::attachedGame).
  std::uint64_t probe();
  // A key or a write of the sequence for `game`. Once the link attached another game process, by a read
  // in one of the sequence's pauses, the rest of the sequence is dropped: the new game's console was never
  // opened, and its Enter would run whatever stands in its line.
  void key(std::uint64_t game, std::int16_t virtualKey);
  void write(std::uint64_t game, const std::string& text);
  void shortPause();
  void longPause();

  MemoryControl& memory_;
  HostPort& host_;
  const std::string& consoleAddress_;
  const std::int16_t& consoleSize_;
  ConsoleTextCut textCut_;
};
