#include "votes/console_channel.h"

namespace {

// Pauses in seconds that pace the keystrokes for the game: a double between steps, a 16-bit whole number
// before a map change.
constexpr double kShortPause = 0.6;
constexpr std::int16_t kLongPause = 4;

}  // namespace

ConsoleChannel::ConsoleChannel(MemoryControl& memory, HostPort& host, const std::string& consoleAddress)
    : memory_(memory), host_(host), consoleAddress_(consoleAddress) {}

void ConsoleChannel::shortPause() {
  memory_.Wait(PauseSeconds{kShortPause});
}

void ConsoleChannel::longPause() {
  memory_.Wait(PauseSeconds{kLongPause});
}

void ConsoleChannel::SendConsoleCommand(const std::string& text) {
  memory_.SendKey(kKeyConsole);
  shortPause();
  memory_.WriteString(consoleAddress_, text, true);
  shortPause();
  memory_.SendKey(kKeyEnter);
  shortPause();
}

void ConsoleChannel::SendChatMessage(const std::string& text, const ChatSequence& sequence) {
  memory_.SendKey(kKeyConsole);
  shortPause();
  if (sequence.yieldAfterConsoleKey)
    host_.yield();
  memory_.WriteString(consoleAddress_, "talk", true);
  shortPause();
  memory_.SendKey(kKeyEnter);
  if (sequence.yieldAfterTalk)
    host_.yield();
  shortPause();
  // The console stays open after "talk": the message goes straight into the input line.
  memory_.WriteString(consoleAddress_, text, true);
  shortPause();
  memory_.SendKey(kKeyEnter);
  switch (sequence.lastPause) {
    case ChatSequence::LastPause::Short:
      shortPause();
      break;
    case ChatSequence::LastPause::YieldThenLong:
      host_.yield();
      longPause();
      break;
    case ChatSequence::LastPause::Long:
      longPause();
      break;
  }
  if (sequence.yieldAfter)
    host_.yield();
}
