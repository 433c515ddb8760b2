// The [Fair Votes] rules as the players and the operator see them: which votes count, who is punted when,
// what the players are told and what votes.log keeps, also when a click or a vote comes in the middle of
// a processing tick's pauses.
#include "votes/fair_votes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "support/game_sequences.h"
#include "support/main_window_fixture.h"

namespace {

constexpr const char* kChat = "&H10FE6C0";
// Calls of one roster scan, and of a console command (console key to its last pause).
constexpr int kRosterCalls = 16;
constexpr int kCommandCalls = 6;

using namespace std::string_literals;
using Names = std::vector<std::string>;

// The settings' fields in their declaration order, to compare all at once.
auto fields(const FairVoteSettings& s) {
  return std::tuple(s.oneVotePerPlayer, s.votesFollowPlayer, s.immunePlayers, s.playerVoteShare,
                    s.mapVoteShare, s.minPlayers, s.progressMessage, s.progressEvery, s.auditLog);
}

class FairVotesTest : public MainWindowTest {
 protected:
  // Attaching settings with a player table at &H1000, `extra` sections and the [Fair Votes] keys.
  void activate(const std::string& fairVotes, const std::string& extra = "",
                const std::string& playerStart = "&H1000") {
    writeAttachingSettings("[Memory]\r\nPlayer Start=" + playerStart + "\r\n" + extra + "[Fair Votes]\r\n" +
                           fairVotes);
    window.Form_Activate();
    forget();
  }
  void seat(int slot, const std::string& name) { memory.setMemory(slotAddress(slot), name); }
  // One collection tick that reads `line` from the chat.
  void chat(const std::string& line) {
    memory.setMemory(kChat, line);
    window.Timer1_Timer();
  }
  void tick() { window.Timer2_Timer(); }
  // A tick whose roster scan fails on the read of `slot`: the names before it stand in List1.
  void tickFailingOnSlot(int slot) {
    memory.failOnCall = memory.calls() + slot + 1;
    tick();
    memory.failOnCall.reset();
  }

  // Lines of votes.log without their date, time and CR LF.
  std::vector<std::string> auditEntries() const {
    const std::string prefix = logTimestamp(clock.time, ErrorLog::environmentLocale()) + " - ";
    const std::string text = folder.read("votes.log");
    std::vector<std::string> entries;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = text.substr(start, end - start);
      entries.push_back(line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : "<no date> " + line);
    }
    return entries;
  }
};

TEST_F(FairVotesTest, SettingsAreReadAtEveryActivationAndUnusableValuesAreOff) {
  activate(
      "One Vote Per Player=True\r\nVotes Follow Player=1\r\nImmune Players= Admin ,Boss\t,, Lee Ann \r\n"
      "Player Vote Share=50\r\nMap Vote Share=100\r\nMin Players=4\r\nProgress Message=%name%\r\n"
      "Progress Every=3\r\nAudit Log=true\r\n");
  EXPECT_EQ(std::tuple(true, true, Names{"Admin", "Boss", "Lee Ann"}, 50, 100, 4, "%name%"s, 3, true),
            fields(window.fairVotes.settings));

  activate(
      "One Vote Per Player=maybe\r\nVotes Follow Player=\r\nImmune Players= , \r\nPlayer Vote Share=0\r\n"
      "Map Vote Share=101\r\nMin Players=lots\r\nProgress Every=0\r\nAudit Log=yes\r\n");
  EXPECT_EQ(std::tuple(false, false, Names{}, 0, 0, 0, ""s, 1, false), fields(window.fairVotes.settings));

  activate("Player Vote Share=-5\r\nProgress Every=-2\r\n");
  EXPECT_EQ(0, window.fairVotes.settings.playerVoteShare);
  EXPECT_EQ(1, window.fairVotes.settings.progressEvery);
}

TEST_F(FairVotesTest, LimitsAsAShareCompareInWholeHundredths) {
  const VoteLimit fixed{5, 0, 3};
  EXPECT_FALSE(fixed.exceededBy(5));
  EXPECT_TRUE(fixed.exceededBy(6));
  EXPECT_EQ(6, fixed.needed());
  // 70 % of 10 is 7: the eighth vote acts.
  const VoteLimit seventy{0, 70, 10};
  EXPECT_FALSE(seventy.exceededBy(7));
  EXPECT_TRUE(seventy.exceededBy(8));
  EXPECT_EQ(8, seventy.needed());
  const VoteLimit half{100, 50, 5};  // the share replaces the fixed limit
  EXPECT_EQ(2.5, half.value());
  EXPECT_TRUE(half.exceededBy(3));
  EXPECT_EQ(3, half.needed());
  EXPECT_EQ(0, (VoteLimit{-3, 0, 0}.needed()));
}

// --- One Vote Per Player. ---

TEST_F(FairVotesTest, EverySpellingOfOneTargetCountsOncePerSpeaker) {
  activate("One Vote Per Player=True\r\n");
  for (const char* line : {"Bob: /vote 3", "Bob: /vote 03", "Bob: /vote 003", "Bob: /vote 3.0",
                           "Bob: /vote +3", "Bob: /vote 3.00", "Bob: /vote 2.5"})  // 2.5 is player 2
    chat(line);
  chat("Ann: /vote 3");
  chat("Bob: /vote map");
  chat("Bob: hello");
  chat("Bob: /vote map");
  std::vector<std::string> counts(16, "0");
  counts[2] = "1";
  counts[3] = "2";
  EXPECT_EQ(counts, window.List3);
  EXPECT_EQ("1", window.Text4);
  EXPECT_EQ("Bob: /vote 3\r\nBob: /vote 2.5\r\nAnn: /vote 3\r\nBob: /vote map\r\n", window.Text1);
  EXPECT_TRUE(errorLogEntries().empty());
}

TEST_F(FairVotesTest, ASpeakerCountsAgainOnceTheTargetsVotesAreCleared) {
  activate("One Vote Per Player=True\r\n");
  seat(3, "Bob");
  tick();
  for (const char* speaker : {"Ann", "Cy", "Dee", "Eve", "Fay", "Gus"})
    chat(std::string(speaker) + ": /vote 3");
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), votedOut(3, "Bob"), kQuietEnd}), journal.entries);

  // The very same line, although it stands in the vote log, counts for the next round.
  chat("Ann: /vote 3");
  EXPECT_EQ("1", window.List3[3]);
  chat("Ann: /vote 03");
  EXPECT_EQ("1", window.List3[3]);
  window.Command1_Click();  // Clear Votes
  chat("Ann: /vote 3");
  EXPECT_EQ("1", window.List3[3]);
  seat(3, "");  // Bob leaves: the empty slot's votes go, and with them who cast them
  tick();
  seat(3, "Bob");
  chat("Ann: /vote 03");
  EXPECT_EQ("1", window.List3[3]);
  EXPECT_EQ("Ann: /vote 3\r\nAnn: /vote 03\r\n", window.Text1);
}

TEST_F(FairVotesTest, TheSpeakerIsTheTextBeforeTheFirstSeparator) {
  activate("One Vote Per Player=True\r\n");
  chat(": /vote 3");            // a speaker without a name is one speaker like any other
  chat(": /vote 03");           // so is the next one
  chat("Ann: Lee: /vote 5");    // a name with ": " leaves "Lee" as the message: no vote
  chat("Bob: /vote 5: sure");   // the message ends at the next ": "
  chat("Bob: /vote 5");         // already counted for Bob
  chat("Bob: /vote 5: again");  // likewise
  EXPECT_EQ("1", window.List3[3]);
  EXPECT_EQ("1", window.List3[5]);
  EXPECT_EQ(": /vote 3\r\nBob: /vote 5: sure\r\n", window.Text1);
  EXPECT_TRUE(errorLogEntries().empty());
}

// --- Votes Follow Player. ---

TEST_F(FairVotesTest, ASlotThatEmptiesAndFillsBetweenTwoTicksStartsAfresh) {
  activate("Votes Follow Player=True\r\nOne Vote Per Player=True\r\n", "[Votes]\r\nMax Player Votes=2\r\n");
  seat(3, "Bob");
  seat(4, "Cy");
  chat("Ann: /vote 3");
  tick();  // before it no names were known: votes cast against nobody in particular go
  EXPECT_EQ("0", window.List3[3]);
  chat("Ann: /vote 03");
  chat("Dee: /vote 3");
  tick();
  EXPECT_EQ("2", window.List3[3]);

  seat(3, "Eve");  // Bob left and Eve joined within one interval
  chat("Fay: /vote 3");
  chat("Ann: /vote 4");
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);  // Eve is not punted for Bob's votes
  EXPECT_EQ("0", window.List3[3]);
  EXPECT_EQ("1", window.List3[4]);

  chat("Ann: /vote 03");  // Ann's vote against Bob is gone, so she may vote against Eve
  tick();
  EXPECT_EQ("1", window.List3[3]);  // still Eve: the votes stay
}

TEST_F(FairVotesTest, VotesCountedInsideTheTickThatSawTheNewPlayerStandForHim) {
  activate("Votes Follow Player=True\r\n");
  seat(3, "Bob");
  tick();
  seat(3, "Eve");
  host.queue([this] { chat("Ann: /vote 3"); });  // at the yield after the summary step
  tick();
  EXPECT_EQ("1", window.List3[3]);
  tick();
  EXPECT_EQ("1", window.List3[3]);
}

// --- Immune Players. ---

TEST_F(FairVotesTest, ImmuneNamesMatchExactlyAndOnlyTheOperatorCanPuntThem) {
  activate("Immune Players=Admin, Boss\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  seat(2, "Admin");
  seat(5, "admin");  // another letter case is another name
  seat(7, "Boss");
  tick();
  chat("Ann: /vote 2");
  chat("Ann: /vote 5");
  chat("Cy: /vote 5");
  chat("Cy: /vote 2");
  EXPECT_EQ("0", window.List3[2]);
  EXPECT_EQ("2", window.List3[5]);
  EXPECT_EQ("Ann: /vote 5\r\nCy: /vote 5\r\n", window.Text1);

  window.List3[7] = "4";  // counted before Boss was listed
  globals.raisePunt(2);
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), votedOut(5, "admin"), kQuietEnd, consoleCommand("punt 2")}),
            journal.entries);
  EXPECT_EQ("4", window.List3[7]);
}

TEST_F(FairVotesTest, BeforeTheFirstRosterScanNoNameIsKnownToBeImmuneButNoneIsPuntedOrToldAbout) {
  activate("Immune Players=Admin\r\nProgress Message=%name%: %votes%\r\n",
           "[Votes]\r\nMax Player Votes=1\r\n");
  seat(2, "Admin");
  chat("Ann: /vote 2");
  chat("Cy: /vote 2");
  EXPECT_EQ("2", window.List3[2]);
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
}

// --- Player Vote Share, Map Vote Share, Min Players. ---

TEST_F(FairVotesTest, SharesOfTheOccupiedSlotsReplaceTheFixedLimits) {
  activate("Player Vote Share=50\r\nMap Vote Share=34\r\n",
           "[Votes]\r\nMax Player Votes=100\r\nMax Map Votes=many\r\n");
  for (int slot : {0, 1, 2, 4, 9})
    seat(slot, "P" + std::to_string(slot));
  // Five players: a player needs more than 2.5 votes, the map more than 1.7.
  window.List3[1] = "2";
  window.List3[2] = "3";
  window.Text4 = "1";
  tick();
  EXPECT_EQ(join({rosterReads(), votedOut(2, "P2"), kQuietEnd}), journal.entries);
  EXPECT_EQ("2", window.List3[1]);
  EXPECT_EQ("1", window.Text4);

  window.Text4 = "2";
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), mapChange(), kQuietEnd}), journal.entries);
  EXPECT_EQ("0", window.Text4);
  // The fixed map limit that is no number is told about once, and plays no part.
  EXPECT_EQ(
      std::vector<std::string>{
          "Votes/Max Map Votes \"many\": not a number, so the default 5 is used - Settings"},
      errorLogEntries());
}

TEST_F(FairVotesTest, BelowMinPlayersVotesNeitherPuntNorChangeTheMap) {
  activate("Min Players=3\r\n", "[Votes]\r\nMax Player Votes=1\r\nMax Map Votes=1\r\n");
  seat(0, "Ann");
  seat(1, "Bob");
  window.List3[1] = "2";
  window.Text4 = "2";
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
  EXPECT_EQ("2", window.List3[1]);
  EXPECT_EQ("2", window.Text4);

  seat(7, "Cy");
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), votedOut(1, "Bob"), mapChange(), kQuietEnd}), journal.entries);
}

// --- Progress Message and Progress Every. ---

TEST_F(FairVotesTest, OneProgressMessageATickForTheTargetThatRoseLast) {
  activate("Progress Message=%name% (%number%): %votes% of %needed%\r\nProgress Every=2\r\n");
  seat(3, "Bob %votes%");  // a placeholder inside a name stays as it is
  chat("Ann: /vote 3");
  chat("Cy: /vote 3");
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), chatMessage("Bob %votes% (3): 2 of 6"), kYield, kQuietEnd}),
            journal.entries);

  chat("Dee: /vote map");
  chat("Eve: /vote 3");
  forget();
  tick();  // one tick after the last message is too soon
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), chatMessage("Bob %votes% (3): 3 of 6"), kYield, kQuietEnd}),
            journal.entries);
  forget();
  tick();
  tick();  // nothing rose since
  EXPECT_EQ(join({rosterReads(), kQuietEnd, rosterReads(), kQuietEnd}), journal.entries);

  chat("Fay: /vote map");
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), chatMessage("Map (map): 2 of 6"), kYield, kQuietEnd}), journal.entries);
}

TEST_F(FairVotesTest, NoProgressIsToldAboutVotesThatWereJustActedOn) {
  activate("Progress Message=%name%: %votes%\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  seat(3, "Bob");
  chat("Ann: /vote 3");
  chat("Cy: /vote 3");
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), votedOut(3, "Bob"), kQuietEnd}), journal.entries);
}

TEST_F(FairVotesTest, AVoteCountedWhileTheProgressMessageGoesOutIsToldNextTime) {
  activate("Progress Message=%name%: %votes%\r\n");
  seat(3, "Bob");
  chat("Ann: /vote 3");
  int waits = 0;
  memory.duringWait = [&] {
    if (++waits == 1)
      chat("Cy: /vote 3");
  };
  tick();
  memory.duringWait = nullptr;
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), chatMessage("Bob: 2"), kYield, kQuietEnd}), journal.entries);
}

TEST_F(FairVotesTest, ClearVotesDuringTheProgressMessageLeavesNothingToTell) {
  activate("Progress Message=%name%: %votes%\r\nAudit Log=True\r\n");
  seat(3, "Bob");
  chat("Ann: /vote 3");
  chat("Cy: /vote 3");
  int waits = 0;
  memory.duringWait = [&] {
    if (++waits == 2)
      window.Command1_Click();
  };
  forget();
  tick();
  // The message goes out whole as composed; the request raised meanwhile is carried out in the same tick.
  EXPECT_EQ(
      join({rosterReads(), chatMessage("Bob: 2"), kYield, kQuietEnd, chatMessage("All Votes Reset"), kYield}),
      journal.entries);
  EXPECT_EQ(std::vector<std::string>(16, "0"), window.List3);
  memory.duringWait = nullptr;
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
  EXPECT_EQ(std::vector<std::string>{"Clear Votes"}, auditEntries());
}

TEST_F(FairVotesTest, ClearVotesLeavesNoProgressToTell) {
  activate("Progress Message=%name%: %votes%\r\n");
  seat(3, "Bob");
  chat("Ann: /vote 3");
  window.Command1_Click();  // Clear Votes
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd, chatMessage("All Votes Reset"), kYield}), journal.entries);
}

// --- Audit Log. ---

TEST_F(FairVotesTest, TheAuditLogKeepsEveryActionWithItsVotersAndEchoesIt) {
  activate("", "[General]\r\nReset Votes=0\r\n");
  window.Command1_Click();
  globals.raiseBan(4);
  tick();
  EXPECT_FALSE(std::filesystem::exists(folder / "votes.log"));  // off: no file at all

  activate("Audit Log=True\r\n",
           "[Votes]\r\nMax Player Votes=1\r\nMax Map Votes=0\r\n[General]\r\nReset Votes=0\r\n");
  std::vector<std::string> echoed;
  window.fairVotes.echoAuditLines([&echoed](const std::string& line) { echoed.push_back(line); });
  seat(3, "Bob");
  chat("Ann: /vote 3");
  chat("Cy: /vote 3");
  chat("Ann: /vote map");
  globals.raisePunt(20);
  globals.raiseBan(3);
  window.Command2_Click();  // Next Map, which also drops Ann's map vote
  tick();                   // the reset counter went past 0 in the tick above
  window.Command1_Click();
  const std::vector<std::string> expected{
      "Punt by votes - player 3 \"Bob\" - count 2, limit 1 - voters \"Ann\", \"Cy\"",
      "Automatic reset",
      "Operator punt - player 20",
      "Operator ban - player 3 \"Bob\"",
      "Operator map change",
      "Clear Votes",
  };
  EXPECT_EQ(expected, auditEntries());
  const std::string stamp = logTimestamp(clock.time, ErrorLog::environmentLocale()) + " - ";
  ASSERT_EQ(expected.size(), echoed.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(stamp + expected[i], echoed[i]);
}

TEST_F(FairVotesTest, TheMapChangeNamesItsVoters) {
  activate("Audit Log=True\r\n", "[Votes]\r\nMax Map Votes=1\r\n");
  chat("Ann: /vote map");
  chat("Cy: /vote map");
  tick();
  EXPECT_EQ(std::vector<std::string>{"Map change by votes - count 2, limit 1 - voters \"Ann\", \"Cy\""},
            auditEntries());
}

TEST_F(FairVotesTest, ASpeakerWhoseOtherSpellingsCountIsNamedOnceAmongTheVoters) {
  activate("Audit Log=True\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  seat(3, "Bob");
  chat("Ann: /vote 3");
  chat("Ann: /vote 03");
  tick();
  EXPECT_EQ(std::vector<std::string>{"Punt by votes - player 3 \"Bob\" - count 2, limit 1 - voters \"Ann\""},
            auditEntries());
}

TEST(AuditTextTest, ANumberPastTheLastSlotHasNoName) {
  const std::vector<std::string> roster(16, "Bob");
  EXPECT_EQ("player 15 \"Bob\"", audit_text::player(15, roster));
  EXPECT_EQ("player 16", audit_text::player(16, roster));
}

TEST(AuditTextTest, NoVotersAreNamedWhenNoneAreKnown) {
  EXPECT_EQ("count 6, limit 5", audit_text::countAndVoters(6, VoteLimit{5, 0, 0}, {}));
  EXPECT_EQ("count 6, limit 5 - voters \"Ann\"", audit_text::countAndVoters(6, VoteLimit{5, 0, 0}, {"Ann"}));
}

TEST_F(FairVotesTest, TheAuditLogIsSetAsideAtItsOwnSizeLimit) {
  activate("Audit Log=True\r\n");
  const std::string entry = logTimestamp(clock.time, ErrorLog::environmentLocale()) + " - Clear Votes\r\n";
  window.fairVotes.setLogSizeLimit(2 * entry.size());
  for (int click = 0; click < 3; ++click)
    window.Command1_Click();
  EXPECT_EQ(entry + entry, folder.read("votes.old.log"));
  EXPECT_EQ(entry, folder.read("votes.log"));
}

// --- Interleavings. ---

TEST_F(FairVotesTest, AVoteCountedDuringAPuntsPausesGoesWithThePuntedVotes) {
  activate("One Vote Per Player=True\r\nAudit Log=True\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  seat(3, "Bob");
  tick();
  chat("Ann: /vote 3");
  chat("Cy: /vote 3");
  int waits = 0;
  memory.duringWait = [&] {
    ++waits;
    if (waits == 1)
      chat("Dee: /vote 3");  // during the punt command: cleared with the rest
    if (waits == 4)
      chat("Ann: /vote 03");  // during the announcement: the count already went back to 0
  };
  tick();
  memory.duringWait = nullptr;
  EXPECT_EQ("1", window.List3[3]);
  EXPECT_EQ(
      std::vector<std::string>{
          "Punt by votes - player 3 \"Bob\" - count 2, limit 1 - voters \"Ann\", \"Cy\""},
      auditEntries());
  chat("Ann: /vote 3");  // Ann already counts in this round
  chat("Dee: /vote 3");  // Dee's vote went with the punt
  EXPECT_EQ("2", window.List3[3]);
}

// --- Edges: a scan or a message cut off by a failure, shares of an empty server, settings out of range. ---

// Slot 3 changes from Bob to Eve; the next scan reads Eve and then fails on slot 5. Ann and Cy vote against
// slot 3 while the window already shows Eve. The following tick still compares with Bob and drops them.
TEST_F(FairVotesTest, VotesAgainstANewcomerSurviveAHalfFailedScanThatAlreadyReadHim) {
  activate("Votes Follow Player=True\r\n");
  seat(3, "Bob");
  tick();
  seat(3, "Eve");
  tickFailingOnSlot(5);
  ASSERT_EQ("Eve", window.List1.at(3));
  chat("Ann: /vote 3");
  chat("Cy: /vote 3");
  tick();
  EXPECT_EQ("2", window.List3[3]);
}

// Admin in slot 8 is known from a complete scan; a later scan fails on slot 5, so List1 holds five names
// and a vote against slot 8 is counted against him.
TEST_F(FairVotesTest, NoVoteCountsAgainstAKnownImmunePlayerWhileAScanFailedHalfWay) {
  activate("Immune Players=Admin\r\n");
  seat(8, "Admin");
  tick();
  tickFailingOnSlot(5);
  chat("Ann: /vote 8");
  EXPECT_EQ("0", window.List3[8]);
  EXPECT_EQ("", window.Text1);
}

// The progress message is taken off before it is sent: a game-link failure on its first key loses it,
// although every other message of a failed tick is tried again.
TEST_F(FairVotesTest, AProgressMessageCutOffByAFailureIsSentByTheNextTick) {
  activate("Progress Message=%name%: %votes%\r\n");
  seat(3, "Bob");
  tick();
  chat("Ann: /vote 3");
  memory.failOnCall = memory.calls() + kRosterCalls + 1;
  tick();
  memory.failOnCall.reset();
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), chatMessage("Bob: 1"), kYield, kQuietEnd}), journal.entries);
}

// Without Player Start (or a server the scan sees empty) no slot is occupied; 60 % of none is 0 and a single
// map vote changes the map.
TEST_F(FairVotesTest, AMapShareOfNoOccupiedSlotsIsNotReachedByOneVote) {
  activate("Map Vote Share=60\r\n", "", "");
  chat("Ann: /vote map");
  forget();
  tick();
  EXPECT_EQ(join({kQuietEnd}), journal.entries);
  EXPECT_EQ("1", window.Text4);
}

// A Progress Every beyond the 16-bit range falls back to 1, the opposite of what such a value asks for.
TEST_F(FairVotesTest, AHugeProgressEveryDoesNotMeanEveryTick) {
  activate("Progress Message=%votes%\r\nProgress Every=40000\r\n");
  seat(3, "Bob");
  chat("Ann: /vote 3");
  tick();
  chat("Cy: /vote 3");
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
}

// With One Vote Per Player the vote log no longer stops a repeated line, so a vote for a number with no slot
// is logged and fails again every time the speaker's line comes back; without the option once.
TEST_F(FairVotesTest, AVoteForANumberWithoutASlotFailsOnceAsWithoutTheOption) {
  activate("One Vote Per Player=True\r\n");
  chat("Bob: /vote 16");
  chat("Bob: hi");
  chat("Bob: /vote 16");
  EXPECT_EQ(1u, errorLogEntries().size());
  EXPECT_EQ("Bob: /vote 16\r\n", window.Text1);
}

// --- Audit lines across retried ticks and clicks inside a tick, immunity in every slot. ---

// Each action is audited once, whether its tick fails before, inside or after the command and is retried.
TEST_F(FairVotesTest, EachActionIsAuditedOnceAcrossFailedAndRetriedTicks) {
  activate("Audit Log=True\r\n", "[Votes]\r\nMax Player Votes=1\r\nMax Map Votes=1\r\n");
  seat(3, "Bob");
  seat(4, "Dee");
  tick();
  chat("Ann: /vote 3");
  chat("Cy: /vote 3");
  // The punt command's last pause fails: the command went out, the count stays, the next tick punts again.
  memory.failOnCall = memory.calls() + kRosterCalls + kCommandCalls;
  tick();
  memory.failOnCall.reset();
  tick();
  chat("Ann: /vote 4");
  chat("Cy: /vote 4");
  // The announcement fails: the count is already cleared, nothing is repeated.
  memory.failOnCall = memory.calls() + kRosterCalls + kCommandCalls + 1;
  tick();
  memory.failOnCall.reset();
  tick();
  chat("Ann: /vote map");
  chat("Cy: /vote map");
  globals.raiseBan(9);
  // The map notice's first key fails; the ban after it waits for the next tick.
  memory.failOnCall = memory.calls() + kRosterCalls + 1;
  tick();
  memory.failOnCall.reset();
  tick();
  tick();
  EXPECT_EQ((std::vector<std::string>{
                "Punt by votes - player 3 \"Bob\" - count 2, limit 1 - voters \"Ann\", \"Cy\"",
                "Punt by votes - player 4 \"Dee\" - count 2, limit 1 - voters \"Ann\", \"Cy\"",
                "Map change by votes - count 2, limit 1 - voters \"Ann\", \"Cy\"",
                "Operator ban - player 9 \"\"",  // an empty slot names an empty name
            }),
            auditEntries());
}

// Next Map, a vote and an activation inside every pause of a map change: each action once in the log.
TEST_F(FairVotesTest, ClicksVotesAndActivationsInsideAMapChangeAuditEachActionOnce) {
  activate("Audit Log=True\r\nOne Vote Per Player=True\r\n", "[Votes]\r\nMax Map Votes=1\r\n");
  chat("Ann: /vote map");
  chat("Cy: /vote map");
  int waits = 0;
  memory.duringWait = [&] {
    ++waits;
    window.Form_Activate();
    if (waits == 2)
      window.Command2_Click();
    if (waits == 3)
      chat("Ann: /vote map now");  // a different line, but Ann already counted against the map
  };
  tick();
  memory.duringWait = nullptr;
  tick();
  EXPECT_EQ((std::vector<std::string>{"Map change by votes - count 2, limit 1 - voters \"Ann\", \"Cy\"",
                                      "Operator map change"}),
            auditEntries());
  EXPECT_EQ("0", window.Text4);
}

// Blanks and empty entries in the list, one immune name in two slots, another letter case.
TEST_F(FairVotesTest, ImmunityHoldsInEverySlotTheNameHolds) {
  activate("Immune Players=,, Admin ,,\r\n", "[Votes]\r\nMax Player Votes=0\r\n");
  seat(1, "Admin");
  seat(6, "Admin");
  seat(7, "ADMIN");
  tick();
  for (const char* line : {"Ann: /vote 1", "Ann: /vote 6", "Ann: /vote 7"})
    chat(line);
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), votedOut(7, "ADMIN"), kQuietEnd}), journal.entries);
  EXPECT_EQ("0", window.List3[1]);
  EXPECT_EQ("0", window.List3[6]);
}

}  // namespace

namespace {

// Join Delay: a name that came into the player table less than the delay ago does not count, on any
// target; names there at the first whole scan came long ago, a name in no slot counts, and one that left
// and came back waits again.
TEST_F(FairVotesTest, NewcomersWaitTheJoinDelayBeforeTheirVotesCount) {
  for (const auto& [value, delay] : std::vector<std::pair<std::string, int>>{
           {"30", 30}, {"3600", 3600}, {"3601", 0}, {"0", 0}, {"-5", 0}, {"soon", 0}}) {
    activate("Join Delay=" + value + "\r\n");
    EXPECT_EQ(delay, window.fairVotes.settings.joinDelay) << value;
  }
  activate("Join Delay=30\r\n");
  seat(2, "Ann");
  tick();  // the first whole scan: Ann is an old hand
  clock.steady = 1000;
  seat(6, "Cy");
  tick();
  chat("Cy: /vote 2");
  chat("Cy: /vote map");
  chat("Ann: /vote 2");
  chat("Zed: /vote 2");  // in no slot
  EXPECT_EQ("2", window.List3[2]);
  EXPECT_EQ("0", window.Text4);
  EXPECT_EQ("Ann: /vote 2\r\nZed: /vote 2\r\n", window.Text1) << "a newcomer's vote is dropped unlogged";

  clock.steady = 1000 + 30000;
  chat("Cy: /vote 2");
  EXPECT_EQ("3", window.List3[2]);

  seat(6, "");
  tick();
  seat(9, "Cy");  // back, in another slot
  tick();
  chat("Cy: /vote map");
  EXPECT_EQ("0", window.Text4);
}

TEST_F(FairVotesTest, AnOptionThatGoesByNamesSaysOnceThatItNeedsThePlayerTable) {
  activate("Join Delay=30\r\n", "", "");
  activate("Join Delay=30\r\n", "", "");
  activate("Join Delay=30\r\n");
  activate("Join Delay=30\r\n", "", "");
  const std::string line =
      "Fair Votes/Join Delay \"30\": needs [Memory] Player Start, so it cannot work - Settings";
  EXPECT_EQ((std::vector<std::string>{line, line}), errorLogEntries());
  EXPECT_EQ(2U, host.settingsNotes.size()) << "and on the service's output";
}

// Vote Lifetime, with and without one vote per player: a vote stops counting that long after it counted,
// the count falls with it, the speaker may vote again, and a punt names only the voters whose votes stood.
TEST_F(FairVotesTest, VotesExpireAfterTheirLifetimeAndTheirSpeakersMayVoteAgain) {
  for (const bool oneVotePerPlayer : {false, true}) {
    SCOPED_TRACE(oneVotePerPlayer ? "one vote per player" : "lines count once");
    window.Command1_Click();
    folder.write("votes.log", "");
    clock.steady = 0;
    activate("Vote Lifetime=60\r\nAudit Log=True\r\nOne Vote Per Player="s +
                 (oneVotePerPlayer ? "True" : "False") + "\r\n",
             "[Votes]\r\nMax Player Votes=2\r\n");
    seat(3, "Bob");
    tick();
    chat("Ann: /vote 3");
    chat("Dee: /vote 3");
    clock.steady = 30000;
    chat("Cy: /vote 3");
    chat("Ann: /vote map");
    clock.steady = 60000;
    chat("Gus: hello");
    EXPECT_EQ("1", window.List3[3]);
    EXPECT_EQ("1", window.Text4);
    chat("Ann: /vote 3");
    EXPECT_EQ("2", window.List3[3]);
    EXPECT_EQ("Ann: /vote 3\r\nDee: /vote 3\r\nCy: /vote 3\r\nAnn: /vote map\r\nAnn: /vote 3\r\n",
              window.Text1)
        << "an expiry writes nothing to the vote log";

    // Cy's vote and Ann's map vote expire inside the punt's first pause, after the punt was decided.
    clock.steady = 89000;
    chat("Eve: /vote 3");
    memory.duringWait = [this] {
      if (clock.steady == 89000) {
        clock.steady = 90000;
        chat("Fay: hello");
        EXPECT_EQ("2", window.List3[3]);
      }
    };
    tick();
    memory.duringWait = nullptr;
    EXPECT_EQ("0", window.List3[3]);
    EXPECT_EQ("0", window.Text4);
    const std::vector<std::string> audit = auditEntries();
    ASSERT_FALSE(audit.empty());
    EXPECT_EQ("Punt by votes - player 3 \"Bob\" - count 3, limit 2 - voters \"Cy\", \"Ann\", \"Eve\"",
              audit[0])
        << "Dee's vote had expired; Cy's fell only once the punt was under way";
  }
}

// Act At Once: the vote that takes a count over its limit, or a request the operator raises, has a
// processing tick run as soon as the running handler is over. It acts on counts and requests only, never
// inside another processing tick (it waits for that one to end), and at most once a second.
TEST_F(FairVotesTest, AVoteOverTheLimitOrARequestHasAProcessingTickRunAtOnce) {
  activate("Act At Once=True\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  seat(3, "Bob");
  seat(4, "Cy");
  tick();
  const std::int16_t summary = window.summaryCounter;
  clock.steady = 5000;
  chat("Ann: /vote 3");
  EXPECT_TRUE(journal.entries.empty() || journal.entries.back() != "RunLater 0");
  forget();
  chat("Dee: /vote 3");
  EXPECT_EQ(Sequence{"RunLater 0"}, Sequence(journal.entries.end() - 1, journal.entries.end()));
  chat("Eve: /vote 3");  // already due: asked for once
  forget();
  host.runLaterTasks();
  EXPECT_EQ(join({rosterReads(), votedOut(3, "Bob")}), journal.entries) << "no summary, progress or reset";
  EXPECT_EQ(summary, window.summaryCounter);

  // Within the second after it, the next one waits for the rest of that second.
  clock.steady = 5400;
  forget();
  globals.raisePunt(4);
  EXPECT_EQ(Sequence{"RunLater 600"}, journal.entries);

  // Due while a regular tick pauses: it runs once that tick is over, which has already carried out the
  // request, and so only reads the roster.
  forget();
  clock.steady = 7000;
  memory.duringWait = [this] { host.runLaterTasks(); };
  tick();
  memory.duringWait = nullptr;
  EXPECT_EQ("RunLater 0", journal.entries.back());
  forget();
  host.runLaterTasks();
  EXPECT_EQ(rosterReads(), journal.entries);

  // Nothing with the service paused or the option off.
  window.Command4_Click();
  forget();
  globals.raiseNextMap();
  activate("Act At Once=False\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  window.Command4_Click();
  forget();
  globals.raiseClearVotes();
  chat("Ann: /vote 4");
  chat("Dee: /vote 4");
  EXPECT_EQ(0, std::count_if(journal.entries.begin(), journal.entries.end(),
                             [](const std::string& e) { return e.rfind("RunLater", 0) == 0; }));
}

// Rejoin Punt Minutes: a player punted by votes, or who left one vote short of it, is punted again when
// his name comes back in any slot, with a word to the chat, until his time is up. Immune names, names a
// chat line cannot be told from and the operator's own punts are never remembered.
TEST_F(FairVotesTest, APlayerVotedOutIsPuntedOnHisReturnUntilHisTimeIsUp) {
  activate("Rejoin Punt Minutes=10\r\nAudit Log=True\r\nImmune Players=Boss\r\n",
           "[Votes]\r\nMax Player Votes=1\r\n");
  for (const auto& [slot, name] :
       std::vector<std::pair<int, std::string>>{{3, "Bob"}, {4, "Cy"}, {5, "Boss"}, {6, "Al: x"}, {8, "Op"}})
    seat(slot, name);
  tick();
  chat("Ann: /vote 3");
  chat("Dee: /vote 3");
  chat("Ann: /vote 4");  // Cy: one vote short of a punt
  chat("Ann: /vote 6");
  chat("Dee: /vote 6");
  window.List3[5] = "1";  // counted before Boss was listed
  globals.raisePunt(8);
  tick();  // Bob and "Al: x" punted by votes, Op by the operator
  for (const int slot : {3, 4, 5, 6, 8})
    seat(slot, "");
  tick();  // Cy and Boss left with their votes standing
  const std::vector<std::string> before = auditEntries();
  EXPECT_EQ("Left one vote short of a punt - \"Cy\" - count 1, limit 1 - remembered for 10 min",
            before.back());
  EXPECT_EQ(1, std::count_if(before.begin(), before.end(), [](const std::string& line) {
              return line.find("remembered") != std::string::npos;
            }));
  folder.write("votes.log", "");

  // All come back, Bob twice; and Eve is voted out in the same tick.
  seat(1, "Bob");
  seat(2, "Bob");
  seat(4, "Cy");
  seat(5, "Boss");
  seat(6, "Al: x");
  seat(8, "Op");
  seat(9, "Eve");
  clock.steady = 30000;
  window.List3[9] = "2";
  forget();
  tick();
  auto said = [](const std::string& text) { return chatMessage(text); };
  EXPECT_EQ(join({rosterReads(), puntByVotes(1), said("Bob was voted out; back in 10 min"), kYield,
                  puntByVotes(2), said("Bob was voted out; back in 10 min"), kYield, puntByVotes(4),
                  said("Cy was voted out; back in 10 min"), kYield, votedOut(9, "Eve"), kQuietEnd}),
            journal.entries);
  EXPECT_EQ((std::vector<std::string>{"Punt on return - player 1 \"Bob\" - 10 min left",
                                      "Punt on return - player 2 \"Bob\" - 10 min left",
                                      "Punt on return - player 4 \"Cy\" - 10 min left",
                                      "Punt by votes - player 9 \"Eve\" - count 2, limit 1"}),
            auditEntries());

  // Nine and a half minutes after Bob's punt: one minute left. Ten minutes after: he may stay.
  seat(9, "");
  seat(2, "");
  forget();
  clock.steady = 9 * 60000 + 30000;
  tick();
  EXPECT_NE(journal.entries.end(), std::find(journal.entries.begin(), journal.entries.end(),
                                             consoleWrite("Bob was voted out; back in 1 min")));
  forget();
  clock.steady = 10 * 60000;
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
}

// With a share the limit may be a fraction: 30 % of the 9 players of the table he left is 2.7, so a punt
// takes a third vote, and a player who leaves with two was one short of it; one who leaves with one was
// two short.
TEST_F(FairVotesTest, LeavingOneVoteShortOfAShareIsRememberedAsVotedOut) {
  activate("Rejoin Punt Minutes=10\r\nAudit Log=True\r\nPlayer Vote Share=30\r\n");
  for (int slot = 0; slot < 9; ++slot)
    seat(slot, "P" + std::to_string(slot));
  tick();
  chat("Ann: /vote 3");
  chat("Dee: /vote 3");
  chat("Ann: /vote 6");
  tick();  // 2.7 with nine players: nobody punted
  seat(3, "");
  seat(6, "");
  tick();
  EXPECT_EQ(
      std::vector<std::string>{"Left one vote short of a punt - \"P3\" - count 2, limit 2.7 - remembered "
                               "for 10 min"},
      auditEntries());
  EXPECT_EQ(10, window.fairVotes.votedOut.minutesLeft("P3"));
  EXPECT_FALSE(window.fairVotes.votedOut.minutesLeft("P6"));
}

// Votes Follow Player across slots: a name that leaves takes its votes and voters along and finds them in
// whatever slot it is read next, within Vote Lifetime (only the votes still standing) or 10 minutes.
TEST_F(FairVotesTest, VotesFollowTheNameIntoAnySlotItComesBackTo) {
  for (const bool lifetime : {false, true}) {
    SCOPED_TRACE(lifetime ? "with a vote lifetime" : "without");
    window.Command1_Click();
    clock.steady = 0;
    for (const int slot : {1, 3, 7})
      seat(slot, "");
    activate("Votes Follow Player=True\r\nOne Vote Per Player=True\r\n"s +
             (lifetime ? "Vote Lifetime=300\r\n" : ""));
    seat(3, "Bob");
    tick();
    chat("Ann: /vote 3");
    clock.steady = 60000;
    chat("Dee: /vote 3");
    seat(3, "Cy");
    seat(1, "Bob");  // read before his old slot
    tick();
    EXPECT_EQ("2", window.List3[1]);
    EXPECT_EQ("0", window.List3[3]);
    chat("Ann: /vote 1");  // Ann already voted against Bob
    EXPECT_EQ("2", window.List3[1]);

    seat(1, "");
    tick();
    clock.steady = 60000 + 280000;  // Ann's vote is 340 s old now, Dee's 280 s
    seat(7, "Bob");
    tick();
    EXPECT_EQ(lifetime ? "1" : "2", window.List3[7]);
    chat("Ann: /vote 7");  // her vote ran out while Bob was away
    chat("Dee: /vote 7");
    EXPECT_EQ("2", window.List3[7]);

    seat(7, "");
    tick();
    clock.steady += lifetime ? 300000 : 600000;
    seat(7, "Bob");
    tick();
    EXPECT_EQ("0", window.List3[7]) << "kept no longer than the lifetime or 10 minutes";
  }
}

}  // namespace

// What is carried away with a leaver is still his votes: Clear Votes, the automatic reset and a new game
// clear it as they clear the votes in the table.
TEST_F(FairVotesTest, VotesCarriedAwayGoWhenTheVotesAreCleared) {
  activate("Votes Follow Player=True\r\n");
  seat(3, "Bob");
  tick();
  chat("Ann: /vote 3");
  chat("Dee: /vote 3");
  seat(3, "");
  tick();  // Bob leaves, taking his two votes along
  window.Command1_Click();
  seat(5, "Bob");
  tick();
  EXPECT_EQ("0", window.List3[5]);
}

// A leaver is one vote short by the limit he faced, in the table he left: a table that reads empty after
// him (everyone gone, the server between maps) makes no share-based limit of nothing.
TEST_F(FairVotesTest, ALeaverIsOneVoteShortOnlyByTheLimitOfTheTableHeLeft) {
  activate("Rejoin Punt Minutes=10\r\nPlayer Vote Share=50\r\nAudit Log=True\r\n");
  for (const int slot : {1, 2, 3, 4})
    seat(slot, "P" + std::to_string(slot));
  tick();
  chat("Ann: /vote 3");  // 1 of 4 players: 3 votes would punt P3
  for (const int slot : {1, 2, 3, 4})
    seat(slot, "");
  tick();
  for (const std::string& line : auditEntries())
    EXPECT_EQ(std::string::npos, line.find("remembered")) << line;
  seat(3, "P3");
  forget();
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
}

// Two players may share a name. When one leaves with votes against him, the namesake who sat in another
// slot all along keeps his own count; the votes come back only to a slot the name newly comes into, also
// when the scan that first read him there failed further on.
TEST_F(FairVotesTest, ANamesakeWhoStayedIsNotHandedTheLeaversVotes) {
  activate("Votes Follow Player=True\r\n", "[Votes]\r\nMax Player Votes=3\r\n");
  seat(2, "Bob");
  seat(5, "Bob");
  tick();
  for (const char* speaker : {"Ann", "Dee", "Eve"})
    chat(speaker + ": /vote 2"s);
  chat("Ann: /vote 5");
  seat(2, "");
  tick();
  EXPECT_EQ("1", window.List3[5]);
  seat(7, "Bob");
  tickFailingOnSlot(9);  // Bob's new slot read, then the scan failed
  tick();
  EXPECT_EQ("3", window.List3[7]);
}

// A name voted out is punted when it comes back into a slot, not where it sat all along: a namesake in
// another slot at the time of the vote stays, and one who joins later does not.
TEST_F(FairVotesTest, ANamesakeWhoSatThroughTheVoteIsNotPuntedOnReturn) {
  activate("Rejoin Punt Minutes=10\r\nAudit Log=True\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  seat(2, "Bob");
  seat(5, "Bob");
  tick();
  chat("Ann: /vote 2");
  chat("Dee: /vote 2");
  clock.steady = 1000;
  tick();  // the Bob in slot 2 is punted by votes
  seat(2, "");
  clock.steady = 5000;
  folder.write("votes.log", "");
  tick();
  seat(7, "Bob");
  clock.steady = 9000;
  tick();
  EXPECT_EQ((std::vector<std::string>{"Punt on return - player 7 \"Bob\" - 10 min left"}), auditEntries());
}

// Rejoin Punt Minutes made shorter by a reload shortens the time of those already remembered.
TEST_F(FairVotesTest, AShorterRejoinTimeAtAReloadCutsTheTimesAlreadyRunning) {
  activate("Rejoin Punt Minutes=1440\r\nAudit Log=True\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  seat(2, "Bob");
  tick();
  chat("Ann: /vote 2");
  chat("Dee: /vote 2");
  tick();
  seat(2, "");
  tick();
  activate("Rejoin Punt Minutes=5\r\nAudit Log=True\r\n", "[Votes]\r\nMax Player Votes=1\r\n");
  folder.write("votes.log", "");
  clock.steady += 1000;
  seat(4, "Bob");
  tick();
  EXPECT_EQ((std::vector<std::string>{"Punt on return - player 4 \"Bob\" - 5 min left"}), auditEntries());
  clock.steady += 5 * 60000;
  seat(4, "");
  tick();
  seat(6, "Bob");
  folder.write("votes.log", "");
  tick();
  EXPECT_EQ(std::vector<std::string>{}, auditEntries());
}

// A timed option outside its range is off, and says so once: a Vote Lifetime of 5 that silently did nothing
// would leave the operator believing his votes expire.
TEST_F(FairVotesTest, ATimedOptionOutsideItsRangeSaysOnceThatItIsOff) {
  activate("Vote Lifetime=5\r\nJoin Delay=4000\r\nRejoin Punt Minutes=0\r\n");
  activate("Vote Lifetime=5\r\nJoin Delay=4000\r\nRejoin Punt Minutes=0\r\n");
  EXPECT_EQ(0, window.fairVotes.settings.voteLifetime);
  EXPECT_EQ(0, window.fairVotes.settings.joinDelay);
  EXPECT_EQ(
      (std::vector<std::string>{"Fair Votes/Join Delay \"4000\": not 1 to 3600, so it is off - Settings",
                                "Fair Votes/Vote Lifetime \"5\": not 10 to 3600, so it is off - Settings"}),
      errorLogEntries());
}
