// The two ticks on one clock, as real window timers run them: at the default intervals both are due
// together every ten seconds, the processing tick then starts inside the collection tick's yield, and its
// pauses let the window go on handling events. No vote line may be lost meanwhile, and two console
// sequences may never interleave.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "dialogs/punt_ban_dialog.h"
#include "support/dialog_doubles.h"
#include "support/game_sequences.h"
#include "support/main_window_fixture.h"
#include "support/virtual_clock.h"

namespace {

constexpr const char* kChat = "&H10FE6C0";

class InterleavingTest : public MainWindowTest {
 protected:
  InterleavingTest() {
    writeAttachingSettings(
        "[Memory]\r\nPlayer Start=&H1000\r\n"
        "[General]\r\nDisplay Summary=0\r\nReset Votes=32767\r\n");
    for (int slot = 0; slot < 6; ++slot)
      seat(slot, "Player" + std::to_string(slot));
    host.recordYields = false;
    clock.addTimer(timer1, [this] { window.Timer1_Timer(); });
    clock.addTimer(timer2, [this] { window.Timer2_Timer(); });
    host.duringYield = [this] { clock.runDue(); };
    memory.pauseFor = [this](double seconds) { clock.pass(static_cast<VirtualClock::Ms>(seconds * 1000)); };
    window.Form_Activate();
  }

  void seat(int slot, const std::string& name) {
    char address[16];
    std::snprintf(address, sizeof address, "&H%X", static_cast<unsigned>(0x1000 + 16 * (slot + 1)));
    memory.setMemory(address, name);
  }

  // Each line stands in the chat for one collection interval, from a quarter past one tick to a quarter
  // past the next, so exactly one collection tick reads it unless a tick is skipped.
  void typeLines(const std::vector<std::string>& lines, VirtualClock::Ms from) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      clock.at(from + 250 + 500 * static_cast<VirtualClock::Ms>(i),
               [this, line = lines[i]] { memory.setMemory(kChat, line); });
    }
  }

  // How often each line stands in the vote log.
  std::map<std::string, int> loggedLines() const {
    std::map<std::string, int> logged;
    std::size_t start = 0;
    for (std::size_t end; (end = window.Text1.find("\r\n", start)) != std::string::npos; start = end + 2)
      ++logged[window.Text1.substr(start, end - start)];
    return logged;
  }

  // The line stands in the chat from `from` on, until the next line replaces it.
  void chatAt(VirtualClock::Ms from, const std::string& line) {
    clock.at(from, [this, line] { memory.setMemory(kChat, line); });
  }

  int sent(const std::string& command) const {
    return static_cast<int>(
        std::count(journal.entries.begin(), journal.entries.end(), consoleWrite(command)));
  }

  VirtualClock clock;
};

TEST_F(InterleavingTest, VotesTypedWhileTheProcessingTickTalksToTheGameAreAllCounted) {
  // The first processing tick punts player 3, changes the map and sends the summary: about 22 seconds
  // of console work that starts inside a collection tick's yield.
  window.maxPlayerVotes = 100;
  window.maxMapVotes = "100";
  window.List3[3] = "100";
  window.Text4 = "100";
  window.summaryCounter = 1;
  std::vector<std::string> lines = {"Voter: /vote 3", "Voter: /vote map"};
  const char* targets[] = {"1", "2", "4", "5"};
  for (int i = 0; i < 150; ++i)
    lines.push_back("Voter" + std::to_string(i) + ": /vote " + targets[i % 4]);
  typeLines(lines, 0);

  clock.pass(90000);

  std::map<std::string, int> expected;
  for (const auto& line : lines)
    expected[line] = 1;
  EXPECT_EQ(expected, loggedLines());
  EXPECT_EQ(1, sent("punt 3"));
  EXPECT_EQ(1, sent("resetgames"));
  EXPECT_TRUE(errorLogEntries().empty());
}

TEST_F(InterleavingTest, ConsoleSequencesNeverInterleave) {
  // Requests and summaries keep the processing tick busy for longer than its interval on every tick.
  timer2.setInterval(2000);
  window.summaryCounter = 1;
  for (int at = 0; at < 60000; at += 7000)
    clock.at(at, [this] {
      window.Command2_Click();
      globals.raisePunt(4);
    });
  clock.pass(60000);
  // Every console sequence starts with the console key and ends with Enter and a pause before the next
  // key; an interleaved sequence would put a second console key before the first one's Enter.
  bool open = false;
  int sequences = 0;
  for (const auto& entry : journal.entries) {
    if (entry == "SendKey 192") {
      EXPECT_FALSE(open) << "a console sequence started inside another one";
      open = true;
      ++sequences;
    } else if (entry == "SendKey 13") {
      open = false;
    }
  }
  EXPECT_GE(sequences, 18);  // three rounds of summary, punt and map change, each longer than the interval
  EXPECT_TRUE(errorLogEntries().empty());
}

TEST_F(InterleavingTest, TheChatIsReadWhileAnOperatorsNoticeIsOpen) {
  // Next Map clicked during a collection tick's yield: its notice stays open for three seconds, and the
  // collection tick keeps firing behind it.
  typeLines({"Ann: /vote 1", "Bob: /vote 1", "Cy: /vote 1", "Dee: /vote 1", "Eve: /vote 1", "Fay: /vote 1",
             "Gus: /vote 1", "Hal: /vote 1"},
            0);
  bool clicked = false;
  clock.at(1000, [this, &clicked] {
    host.queue([this, &clicked] {
      clicked = true;
      window.Command2_Click();
    });
  });
  host.whileNoticeOpen = [this] { clock.pass(3000); };
  clock.pass(4500);
  EXPECT_TRUE(clicked);
  EXPECT_EQ("8", window.List3[1]);
}

// The collection tick that the processing tick started in resumes about 9 s later with the line it read
// at 10 s; the newer line the inner ticks read stays the last line seen, so a bad line standing in the
// chat is reported once.
TEST_F(InterleavingTest, ABadLineStandingInTheChatIsReportedOnce) {
  window.summaryCounter = 1;           // the summary holds the first processing tick for about nine seconds
  chatAt(9750, "Ann: /vote 1");        // read by the collection tick at 10 s
  chatAt(10250, "Server restarting");  // no ": ": one error-log line, then it stands
  clock.pass(29000);
  EXPECT_EQ("1", window.List3[1]);
  EXPECT_EQ(std::vector<std::string>{"Subscript out of range - Server restarting - Vote Collection"},
            errorLogEntries());
}

// A vote line counted by a tick inside the processing tick's pauses, and still standing in the chat, does
// not count again after Clear Votes once the outer collection tick resumed.
TEST_F(InterleavingTest, AVoteStandingInTheChatDoesNotCountAgainAfterClearVotes) {
  window.summaryCounter = 1;  // the summary holds the first processing tick for about nine seconds
  chatAt(9750, "Ann: /vote 1");
  chatAt(10250, "Bob: /vote 2");  // counted by a collection tick inside the processing tick's pauses
  clock.at(15000, [this] { window.Command1_Click(); });
  clock.pass(29000);
  EXPECT_EQ("0", window.List3[2]) << "Bob's vote was counted before Clear Votes and not typed again";
  EXPECT_EQ(std::string::npos, window.Text1.find("Bob: /vote 2"));
}

// The same without a click: the automatic reset of the long processing tick forgets Bob's vote, and the
// line still standing in the chat does not bring it back.
TEST_F(InterleavingTest, AVoteCountedBeforeTheAutomaticResetDoesNotSurviveIt) {
  window.summaryCounter = 1;  // the summary holds the first processing tick for about nine seconds
  window.resetVotes = 0;
  window.resetCounter = 1;
  chatAt(9750, "Ann: /vote 1");
  chatAt(10250, "Bob: /vote 2");
  clock.pass(29000);
  EXPECT_EQ("0", window.List3[2]) << "Bob's vote was counted before the reset and not typed again";
  EXPECT_EQ(std::string::npos, window.Text1.find("Bob: /vote 2"));
}

// The punt/ban dialog's notice, clicked during a collection tick's yield, is modal like the Next Map
// notice: the chat is read behind it for as long as it stays open.
TEST_F(InterleavingTest, TheChatIsReadWhileThePuntBanDialogsNoticeIsOpen) {
  const std::vector<std::string> lines = {"Ann: /vote 1", "Bob: /vote 1", "Cy: /vote 1",  "Dee: /vote 1",
                                          "Eve: /vote 1", "Fay: /vote 1", "Gus: /vote 1", "Hal: /vote 1"};
  for (std::size_t i = 0; i < lines.size(); ++i)
    chatAt(250 + 500 * static_cast<VirtualClock::Ms>(i), lines[i]);
  RecordingDialogWindow dialogWindow(journal);
  dialogWindow.whileNoticeOpen = [this] { clock.pass(3000); };
  Dialog dialog(globals, timer2, dialogWindow, window.ticks);
  dialog.Text1 = "4";
  clock.at(1000, [this, &dialog] { host.queue([&dialog] { dialog.cmdpunt_Click(); }); });
  clock.pass(4500);
  EXPECT_TRUE(globals.puntRequested);
  EXPECT_EQ("8", window.List3[1]);
}

// A pause inside a pause (a notice held open for 3 s while a processing tick's 0.6 s pause runs) must not
// turn the virtual clock back: the outer pause ends where the inner one left the clock, or later.
TEST(VirtualClockTest, ANestedPauseNeverTurnsTheClockBack) {
  VirtualClock clock;
  clock.at(100, [&clock] { clock.pass(3000); });
  clock.pass(600);
  EXPECT_GE(clock.now(), 3100);
}

}  // namespace
