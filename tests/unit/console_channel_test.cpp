// The console channel on its own: the exact keys, writes and pauses, and what a failure leaves unsent.
#include "votes/console_channel.h"

#include <gtest/gtest.h>

#include "support/game_sequences.h"
#include "support/scripted_memory_control.h"
#include "support/virtual_host.h"

namespace {

class ConsoleChannelTest : public ::testing::Test {
 protected:
  Journal journal;
  ScriptedMemoryControl memory{journal};
  VirtualHost host{journal};
  std::string consoleAddress = "&H11038DC";
  std::int16_t consoleSize = 90;
  std::vector<std::string> cuts;
  ConsoleChannel channel{memory, host, consoleAddress, consoleSize,
                         [this](const std::string& text, std::size_t kept) {
                           cuts.push_back(std::to_string(kept) + " of " + text);
                         }};
};

TEST_F(ConsoleChannelTest, ACommandIsSixStepsAndAnEmptyMessageIsStillSaid) {
  channel.SendConsoleCommand("punt 0");
  EXPECT_EQ((Sequence{"ReadString &H11038DC 90", "SendKey 192", "Wait 0.6 (double)",
                      "WriteString &H11038DC [punt 0] True", "Wait 0.6 (double)", "SendKey 13",
                      "Wait 0.6 (double)"}),
            journal.entries);
  journal.clear();
  channel.SendChatMessage("");
  EXPECT_EQ(join({consoleCommand("talk"), {consoleWrite(""), kShortWait, "SendKey 13", kShortWait}}),
            journal.entries);
  EXPECT_EQ(2, host.sequencesBegun);
  EXPECT_EQ(0, host.sequencesRunning);
}

// A failure anywhere leaves the rest unsent and ends the sequence; a console line that cannot be read
// fails before the console key, so the game's console is never toggled for nothing. The error names the
// setting.
TEST_F(ConsoleChannelTest, AFailureLeavesTheRestOfTheSequenceUnsent) {
  for (int failing : {1, 4}) {
    SCOPED_TRACE(failing);
    journal.clear();
    memory.failOnCall = memory.calls() + failing;
    try {
      channel.SendConsoleCommand("resetgames");
      ADD_FAILURE() << "no failure";
    } catch (const RuntimeError& error) {
      EXPECT_EQ("Memory/Console &H11038DC: game link failed on call " + std::to_string(*memory.failOnCall),
                std::string(error.what()));
    }
    Sequence sent = consoleCommand("resetgames");
    sent.resize(static_cast<std::size_t>(failing));
    sent.back() += " FAILED";
    EXPECT_EQ(sent, journal.entries);
    EXPECT_EQ(0, host.sequencesRunning);
  }
}

// A game started again in the middle of a sequence, found by a read in one of its pauses, gets none of
// the rest: its console was never opened, its line may hold what its operator typed, and its Enter would
// run that. A command no longer wanted there is not wiped from it either.
TEST_F(ConsoleChannelTest, AGameAttachedDuringASequenceGetsNoneOfTheRest) {
  int waits = 0;
  memory.duringWait = [&] {
    if (++waits == 2)
      memory.gameProcess = 2;
  };
  for (const bool wanted : {true, false}) {
    SCOPED_TRACE(wanted);
    journal.clear();
    memory.gameProcess = 1;
    waits = 0;
    // Wanted before the console key; before Enter as `wanted` says.
    EXPECT_FALSE(channel.SendConsoleCommand(
        "punt 0", [asked = 0, wanted]() mutable { return ++asked == 1 || wanted; }));
    EXPECT_EQ((Sequence{kConsoleProbe, "SendKey 192", kShortWait, consoleWrite("punt 0"), kShortWait}),
              journal.entries);
  }
  journal.clear();
  memory.gameProcess = 1;
  waits = 0;
  channel.SendChatMessage("hi", chat::kYieldThenLongPause);
  EXPECT_EQ((Sequence{kConsoleProbe, "SendKey 192", kShortWait, consoleWrite("talk"), kShortWait}),
            journal.entries);
  EXPECT_EQ(0, host.sequencesRunning);
}

TEST_F(ConsoleChannelTest, TheConsoleAddressIsReadAtEveryWrite) {
  host.queue([this] { consoleAddress = "&H22"; });  // a reload of the settings during the yield
  channel.SendChatMessage("hi", chat::kYieldAfterTalk);
  EXPECT_EQ("WriteString &H11038DC [talk] True", journal.entries.at(3));
  EXPECT_EQ("WriteString &H22 [hi] True", journal.entries.at(8));
}

// No text is written past the console line: one that does not fit with its NUL is cut, and the cut is told.
TEST_F(ConsoleChannelTest, ATextLongerThanTheConsoleLineIsCut) {
  consoleSize = 12;
  channel.SendChatMessage("12345678901");  // 11 characters and the NUL fill the line
  channel.SendChatMessage("123456789012");
  EXPECT_EQ(consoleWrite("12345678901"), journal.entries.at(7));
  EXPECT_EQ(consoleWrite("12345678901"), journal.entries.at(18));
  EXPECT_EQ(std::vector<std::string>{"11 of 123456789012"}, cuts);
}

}  // namespace
