// The collection tick as the players and the operator see it: which chat lines count, how often, what
// lands in the vote log and in the error log, and what happens when other events run at its yield.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "common/conversions.h"
#include "support/main_window_fixture.h"

namespace {

constexpr const char* kChat = "&H10FE6C0";

class VoteCollectionTest : public MainWindowTest {
 protected:
  VoteCollectionTest() {
    writeAttachingSettings();
    window.Form_Activate();
    forget();
  }

  // One collection tick that reads `line` from the chat.
  void chat(const std::string& line) {
    memory.setMemory(kChat, line);
    window.Timer1_Timer();
  }

  std::vector<std::string> counts() const { return window.List3; }
  static std::vector<std::string> countsWith(int row, const std::string& count) {
    std::vector<std::string> expected(16, "0");
    expected[static_cast<std::size_t>(row)] = count;
    return expected;
  }
};

TEST_F(VoteCollectionTest, EachDistinctVoteLineCountsOnce) {
  chat("Bob: /vote 3");
  EXPECT_EQ(countsWith(3, "1"), counts());
  EXPECT_EQ("Bob: /vote 3\r\n", window.Text1);

  chat("Bob: /vote 3");  // the same line on the next tick
  chat("Ann: hello");
  chat("Bob: /vote 3");  // again after another line: it stands in the vote log
  EXPECT_EQ(countsWith(3, "1"), counts());

  chat("Ann: /vote 3");
  chat("Bob: /vote 03");  // another spelling is another line
  EXPECT_EQ(countsWith(3, "3"), counts());
  EXPECT_EQ("Bob: /vote 3\r\nAnn: /vote 3\r\nBob: /vote 03\r\n", window.Text1);
  EXPECT_EQ("0", window.Text4);
  EXPECT_TRUE(errorLogEntries().empty());
}

TEST_F(VoteCollectionTest, MapVotesCountInTheMapRow) {
  chat("Bob: /vote map");
  chat("Ann: /vote map");
  EXPECT_EQ("2", window.Text4);
  EXPECT_EQ("Bob: /vote map\r\nAnn: /vote map\r\n", window.Text1);
  EXPECT_EQ(countsWith(0, "0"), counts());
}

TEST_F(VoteCollectionTest, LinesThatAreNoVotesChangeNothingAndLogNoError) {
  for (const char* line : {"Bob: hello", "Bob: /Vote 3", "Bob: /vote Map", "Bob: /vote  3", "Bob: /vote x",
                           "Bob: /votes 3", "Bob:  /vote 3", "Bob: vote 3", "Bob: /vote 3e1"}) {
    chat(line);
  }
  EXPECT_EQ(countsWith(0, "0"), counts());
  EXPECT_EQ("0", window.Text4);
  EXPECT_EQ("", window.Text1);
  EXPECT_TRUE(errorLogEntries().empty());
  EXPECT_EQ("Bob: /vote 3e1", window.lastChatLine);
}

TEST_F(VoteCollectionTest, OnlyTheMessageBetweenTheFirstTwoSeparatorsAndItsFirstTwoWordsCount) {
  chat("Bob: /vote 3 now");        // words after the second are ignored
  chat("Ann: /vote 5: and more");  // the message ends at the next ": "
  chat("Cy: /vote map please");
  chat("Dee: /vote 7 ");  // a trailing blank makes an empty third word
  EXPECT_EQ("1", window.List3[3]);
  EXPECT_EQ("1", window.List3[5]);
  EXPECT_EQ("1", window.List3[7]);
  EXPECT_EQ("1", window.Text4);
  EXPECT_TRUE(errorLogEntries().empty());
}

TEST_F(VoteCollectionTest, NumbersRoundHalfToEven) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"2.5", 2}, {"3.5", 4}, {"+1", 1}, {"-0.5", 0}, {"14.51", 15}};
  for (const auto& [number, slot] : cases) {
    chat(std::string("Bob: /vote ") + number);
    EXPECT_EQ("1", window.List3[slot]) << number;
  }
  EXPECT_EQ("0", window.List3[3]);
}

TEST_F(VoteCollectionTest, ANumberWithoutARowIsLoggedThenFails) {
  chat("Bob: /vote 16");
  chat("Bob: /vote -1");
  chat("Bob: /vote 99999");
  EXPECT_EQ(countsWith(0, "0"), counts());
  EXPECT_EQ("Bob: /vote 16\r\nBob: /vote -1\r\nBob: /vote 99999\r\n", window.Text1);
  EXPECT_EQ((std::vector<std::string>{"Subscript out of range - Bob: /vote 16 - Vote Collection",
                                      "Subscript out of range - Bob: /vote -1 - Vote Collection",
                                      "Overflow - Bob: /vote 99999 - Vote Collection"}),
            errorLogEntries());

  chat("Bob: /vote 16");  // still the last line: no second error
  EXPECT_EQ(3u, errorLogEntries().size());
}

TEST_F(VoteCollectionTest, MalformedLinesFailOnceEach) {
  chat("Server restarting");  // no ": "
  chat("Server restarting");
  chat("Bob: ");           // empty message
  chat("Bob: /vote");      // no second word
  chat("Bob: : /vote 3");  // the message is the empty text before the next ": "
  EXPECT_EQ((std::vector<std::string>{"Subscript out of range - Server restarting - Vote Collection",
                                      "Subscript out of range - Bob:  - Vote Collection",
                                      "Subscript out of range - Bob: /vote - Vote Collection",
                                      "Subscript out of range - Bob: : /vote 3 - Vote Collection"}),
            errorLogEntries());
  EXPECT_EQ(countsWith(0, "0"), counts());
  EXPECT_EQ("", window.Text1);
}

TEST_F(VoteCollectionTest, ACountThatIsNoNumberFailsAfterTheLineIsLogged) {
  window.List3[4] = "four";
  chat("Bob: /vote 4");
  EXPECT_EQ("four", window.List3[4]);
  EXPECT_EQ("Bob: /vote 4\r\n", window.Text1);
  EXPECT_EQ(std::vector<std::string>{"Type mismatch - Bob: /vote 4 - Vote Collection"}, errorLogEntries());

  window.Text4 = "";
  chat("Bob: /vote map");
  EXPECT_EQ("Bob: /vote 4\r\n", window.Text1);  // a map vote is logged only after it was counted
  EXPECT_EQ(2u, errorLogEntries().size());
}

TEST_F(VoteCollectionTest, AnEmptyReadNeitherChangesTheLastLineNorMakesARepeatNew) {
  chat("Bob: /vote 3");
  chat("");
  chat("Bob: /vote 3");
  EXPECT_EQ("1", window.List3[3]);
  EXPECT_EQ("Bob: /vote 3", window.lastChatLine);
}

TEST_F(VoteCollectionTest, AfterTheLogIsEmptiedOnlyAReappearingLineCountsAgain) {
  chat("Bob: /vote 3");
  window.List3[3] = "0";
  window.Text1.clear();
  chat("Bob: /vote 3");  // still the last chat line
  EXPECT_EQ("0", window.List3[3]);
  chat("Ann: hi");
  chat("Bob: /vote 3");
  EXPECT_EQ("1", window.List3[3]);
}

TEST_F(VoteCollectionTest, ReadFailureIsLoggedWithAnEmptyChatLine) {
  memory.failOnCall = memory.calls() + 1;
  chat("Bob: /vote 3");
  EXPECT_EQ(
      std::vector<std::string>{"Memory/Chat &H10FE6C0: game link failed on call 2 -  - Vote Collection"},
      errorLogEntries());
  EXPECT_EQ("0", window.List3[3]);
  memory.failOnCall.reset();
  chat("Bob: /vote 3");  // the next tick goes on normally
  EXPECT_EQ("1", window.List3[3]);
}

TEST_F(VoteCollectionTest, TheTickReadsNinetyCharactersThenYieldsOnce) {
  chat("Bob: /vote 3");
  EXPECT_EQ((std::vector<std::string>{"ReadString &H10FE6C0 90", "Yield"}), journal.entries);
}

TEST_F(VoteCollectionTest, AFullVoteLogOverflowsItsLineIndex) {
  std::string log;
  for (int i = 0; i < 32766; ++i)
    log += "x\r\n";
  window.Text1 = log;
  chat("Bob: /vote 1");  // 32,766 lines: still counted
  EXPECT_EQ("1", window.List3[1]);
  chat("Bob: /vote 2");  // now 32,767 lines
  EXPECT_EQ("0", window.List3[2]);
  EXPECT_EQ(std::vector<std::string>{"Overflow - Bob: /vote 2 - Vote Collection"}, errorLogEntries());
  chat("Bob: /vote 1");  // found before the index runs out
  EXPECT_EQ(1u, errorLogEntries().size());
}

// --- What runs at the tick's yield, between the read and the count. ---

TEST_F(VoteCollectionTest, AResetDuringTheYieldIsSeenByTheCount) {
  chat("Bob: /vote 5");
  chat("Ann: /vote map");
  host.queue([this] {  // a processing tick's reset, or Clear Votes
    window.List3.assign(16, "0");
    window.Text4 = "0";
    window.Text1.clear();
  });
  chat("Ann: /vote map");
  EXPECT_EQ("0", window.Text4) << "still the last line: not counted again";
  EXPECT_EQ("", window.Text1);
  host.queue([this] {
    window.List3.assign(16, "0");
    window.Text1.clear();
  });
  chat("Cy: /vote 5");
  EXPECT_EQ("1", window.List3[5]);
  EXPECT_EQ("Cy: /vote 5\r\n", window.Text1);
}

TEST_F(VoteCollectionTest, AVoteCountedDuringTheYieldIsNotLost) {
  window.List3[6] = "2";
  host.queue([this] { window.List3[6] = "5"; });
  chat("Bob: /vote 6");
  EXPECT_EQ("6", window.List3[6]);
}

TEST_F(VoteCollectionTest, ACollectionTickThatFiresInsideTheTickIsSkipped) {
  host.queue([this] { window.Timer1_Timer(); });
  chat("Bob: /vote 3");
  EXPECT_EQ((std::vector<std::string>{"ReadString &H10FE6C0 90", "Yield"}), journal.entries);
  EXPECT_EQ("1", window.List3[3]);
  chat("Ann: /vote 3");  // and the guard is down again afterwards
  EXPECT_EQ("2", window.List3[3]);
}

// --- Attaching. ---

TEST_F(VoteCollectionTest, AnUnreachableGameIsReportedOnEveryTickWithoutStackingNotices) {
  memory.gameRunning = false;
  window.Form_Activate();
  EXPECT_FALSE(window.gameAttached);
  forget();

  int nestedTicks = 0;
  host.whileNoticeOpen = [this, &nestedTicks] {
    ++nestedTicks;
    window.Timer1_Timer();  // the timer keeps firing behind the modal notice
  };
  chat("Bob: /vote 3");
  const std::string notice =
      "Notice Unable to connect to: Delta Force Land Warrior,  V1.00.42\r\n"
      "Please make sure it is running then click 'OK'";
  EXPECT_EQ((std::vector<std::string>{"OpenGame Delta Force Land Warrior,  V1.00.42", notice}),
            journal.entries);
  EXPECT_EQ(1, nestedTicks);
  EXPECT_EQ("0", window.List3[3]);

  host.whileNoticeOpen = nullptr;
  memory.gameRunning = true;
  forget();
  chat("Bob: /vote 3");
  EXPECT_TRUE(window.gameAttached);
  EXPECT_EQ((std::vector<std::string>{"OpenGame Delta Force Land Warrior,  V1.00.42",
                                      "ReadString &H10FE6C0 90", "Yield"}),
            journal.entries);
  EXPECT_EQ("1", window.List3[3]);
}

TEST_F(VoteCollectionTest, OnFirstRunNoAttachIsTriedButTheChatIsRead) {
  writeSettings("");
  memory.gameRunning = false;
  window.gameAttached = false;
  window.Form_Activate();
  forget();
  chat("Bob: /vote 3");
  EXPECT_EQ((std::vector<std::string>{"ReadString &H10FE6C0 90", "Yield"}), journal.entries);
  EXPECT_EQ("1", window.List3[3]);
}

// --- Any bytes from the chat. ---

TEST_F(VoteCollectionTest, ArbitraryBytesNeverBreakTheTable) {
  host.recordYields = false;
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> length(0, 90);
  std::uniform_int_distribution<int> byte(0, 255);
  const std::vector<std::string> fragments = {"Bob: ", "/vote ", "map",      "3",   ".5",
                                              ": ",    " ",      "\xff\xfe", "\xc3"};
  std::uniform_int_distribution<std::size_t> pick(0, fragments.size() - 1);
  std::set<std::string> distinctLines;
  for (int i = 0; i < 3000; ++i) {
    std::string line;
    const int size = length(random);
    while (static_cast<int>(line.size()) < size) {
      if (byte(random) < 128) {
        line += fragments[pick(random)];
      } else {
        line += static_cast<char>(byte(random));
      }
    }
    line.resize(static_cast<std::size_t>(size));
    chat(line);
    if (!line.empty())
      distinctLines.insert(line);
  }
  double counted = conv::toNumber(window.Text4);
  for (const auto& count : window.List3)
    counted += conv::toNumber(count);
  std::size_t logged = 0;
  for (std::size_t at = window.Text1.find("\r\n"); at != std::string::npos;
       at = window.Text1.find("\r\n", at + 2)) {
    ++logged;
  }
  EXPECT_EQ(16u, window.List3.size());
  EXPECT_LE(counted, static_cast<double>(logged));
  EXPECT_LE(logged, distinctLines.size());
}

// A game restarted between two ticks is found again by the link: its players start with no votes against
// them, and its vote lines count even when they read like the old game's. The operator's requests stay.
TEST_F(VoteCollectionTest, AnotherGameProcessStartsWithACleanTable) {
  memory.gameProcess = 1;
  window.Form_Activate();
  for (const char* line : {"Ann: /vote 3", "Bob: /vote 3", "Cy: /vote map"})
    chat(line);
  globals.raiseNextMap();
  chat("Cy: /vote map");  // the same game: nothing changes
  EXPECT_EQ(countsWith(3, "2"), counts());

  memory.gameProcess = 2;  // the link attached to a new process while reading the chat
  chat("Ann: /vote 3");
  EXPECT_EQ(countsWith(3, "1"), counts());
  EXPECT_EQ("0", window.Text4);
  EXPECT_EQ("Ann: /vote 3\r\n", window.Text1);
  EXPECT_TRUE(globals.nextMapRequested);
  EXPECT_EQ(
      std::vector<std::string>{"Another game process attached: the votes, the map votes and the vote log "
                               "start afresh - Game Link"},
      errorLogEntries());

  // Seen first by a processing tick, or by an activation, it is the same.
  for (const std::function<void()>& notice : std::vector<std::function<void()>>{
           [this] { window.Timer2_Timer(); }, [this] { window.Form_Activate(); }}) {
    window.List3[5] = "4";
    ++memory.gameProcess;
    notice();
    EXPECT_EQ(countsWith(5, "0"), counts());
  }
  EXPECT_EQ(3u, errorLogEntries().size());
}

// The error log is set aside at the size the settings give, in kilobytes.
TEST_F(VoteCollectionTest, TheErrorLogIsSetAsideAtMaxLogSize) {
  writeAttachingSettings("[General]\r\nMax Log Size KB=1\r\n");
  window.Form_Activate();
  for (int line = 0; line < 20; ++line)
    chat("junk " + std::to_string(line) + std::string(80, '-'));  // no ": ", so each line is an error
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "errorlog.old.log"));
  EXPECT_LE(std::filesystem::file_size(folder.path() / "errorlog.log"), 1024u);
  EXPECT_LE(std::filesystem::file_size(folder.path() / "errorlog.old.log"), 1024u);
}

}  // namespace
