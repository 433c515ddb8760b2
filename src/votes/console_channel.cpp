#include "votes/console_channel.h"

#include <utility>

namespace {

// Pauses in seconds that pace the keystrokes for the game: a double between steps, a 16-bit whole number
// before a map change.
constexpr double kShortPause = 0.6;
constexpr std::int16_t kLongPause = 4;

constexpr const char* kConsoleKey = "Memory/Console";

// Ends a sequence quietly: the link attached another game process, and the core says so itself.
struct AnotherGame {};

}  // namespace

ConsoleChannel::ConsoleChannel(MemoryControl& memory, HostPort& host, const std::string& consoleAddress,
                               const std::int16_t& consoleSize, ConsoleTextCut textCut)
    : memory_(memory),
      host_(host),
      consoleAddress_(consoleAddress),
      consoleSize_(consoleSize),
      textCut_(std::move(textCut)) {}

ConsoleChannel::Sequence::Sequence(ConsoleChannel& channel) : host_(channel.host_) {
  host_.consoleSequenceRunning(true);
}

ConsoleChannel::Sequence::~Sequence() {
  host_.consoleSequenceRunning(false);
}

std::uint64_t ConsoleChannel::probe() {
  namingSetting(kConsoleKey, consoleAddress_,
                [this] { return memory_.ReadString(consoleAddress_, ReadLength{consoleSize_}); });
  return memory_.attachedGame();
}

void ConsoleChannel::key(std::uint64_t game, std::int16_t virtualKey) {
  if (memory_.attachedGame() != game)
    throw AnotherGame{};
  memory_.SendKey(virtualKey);
}

// Writing past the console line would overwrite whatever the game keeps behind it: a longer text is cut
// to the line, its NUL included.
void ConsoleChannel::write(std::uint64_t game, const std::string& text) {
  if (memory_.attachedGame() != game)
    throw AnotherGame{};
  const std::size_t room = consoleSize_ > 1 ? static_cast<std::size_t>(consoleSize_) - 1 : 0;
  const bool fits = text.size() <= room;
  if (!fits && textCut_)
    textCut_(text, room);
  namingSetting(kConsoleKey, consoleAddress_,
                [&] { memory_.WriteString(consoleAddress_, fits ? text : text.substr(0, room), true); });
}

void ConsoleChannel::shortPause() {
  memory_.Wait(PauseSeconds{kShortPause});
}

void ConsoleChannel::longPause() {
  memory_.Wait(PauseSeconds{kLongPause});
}

bool ConsoleChannel::SendConsoleCommand(const std::string& text, const std::function<bool()>& stillWanted) {
  const Sequence running(*this);
  const std::uint64_t game = probe();
  if (stillWanted && !stillWanted())
    return false;
  try {
    key(game, kKeyConsole);
    shortPause();
    write(game, text);
    shortPause();
    const bool wanted = !stillWanted || stillWanted();
    if (!wanted) {
      // An empty line leaves the console as any command does, and carries nothing out.
      write(game, "");
      shortPause();
    }
    key(game, kKeyEnter);
    shortPause();
    return wanted;
  } catch (const AnotherGame&) {
    return false;
  }
}

void ConsoleChannel::SendChatMessage(const std::string& text, const ChatSequence& sequence) {
  const Sequence running(*this);
  const std::uint64_t game = probe();
  try {
    key(game, kKeyConsole);
    shortPause();
    if (sequence.yieldAfterConsoleKey)
      host_.yield();
    write(game, "talk");
    shortPause();
    key(game, kKeyEnter);
    if (sequence.yieldAfterTalk)
      host_.yield();
    shortPause();
    // The console stays open after "talk": the message goes straight into the input line.
    write(game, text);
    shortPause();
    key(game, kKeyEnter);
  } catch (const AnotherGame&) {
    return;
  }
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
