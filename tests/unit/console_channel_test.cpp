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
  ConsoleChannel channel{memory, host, consoleAddress};
};

TEST_F(ConsoleChannelTest, ACommandIsSixStepsAndAnEmptyMessageIsStillSaid) {
  channel.SendConsoleCommand("punt 0");
  EXPECT_EQ((Sequence{"SendKey 192", "Wait 0.6 (double)", "WriteString &H11038DC [punt 0] True",
                      "Wait 0.6 (double)", "SendKey 13", "Wait 0.6 (double)"}),
            journal.entries);
  journal.clear();
  channel.SendChatMessage("");
  EXPECT_EQ(join({consoleCommand("talk"), {consoleWrite(""), kShortWait, "SendKey 13", kShortWait}}),
            journal.entries);
}

TEST_F(ConsoleChannelTest, AFailureLeavesTheRestOfTheSequenceUnsent) {
  memory.failOnCall = 3;
  EXPECT_THROW(channel.SendConsoleCommand("resetgames"), MemoryControlError);
  EXPECT_EQ((Sequence{"SendKey 192", kShortWait, consoleWrite("resetgames") + " FAILED"}), journal.entries);
}

TEST_F(ConsoleChannelTest, TheConsoleAddressIsReadAtEveryWrite) {
  host.queue([this] { consoleAddress = "&H22"; });  // a reload of the settings during the yield
  channel.SendChatMessage("hi", chat::kYieldAfterTalk);
  EXPECT_EQ("WriteString &H11038DC [talk] True", journal.entries.at(2));
  EXPECT_EQ("WriteString &H22 [hi] True", journal.entries.at(7));
}

}  // namespace
