// The processing tick as the game and the operator see it: the exact calls sent to the game for every
// action, the roster scan, the periods of the summary and the reset, the operator's requests, and what is
// left behind when the game link fails at any point of a busy tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "dialogs/punt_ban_dialog.h"
#include "support/dialog_doubles.h"
#include "support/game_sequences.h"
#include "support/main_window_fixture.h"

namespace {

// Steps count from the console key; the read of the console line comes before it.
Sequence withYieldAfterStep(Sequence message, std::size_t step) {
  message.insert(message.begin() + static_cast<std::ptrdiff_t>(step + 1), "Yield");
  return message;
}

class VoteProcessingTest : public MainWindowTest {
 protected:
  void activate(const std::string& extra = "") {
    writeAttachingSettings(extra);
    window.Form_Activate();
    forget();
  }
  // Names in the sixteen slots of a player table at &H1000.
  void seatPlayers(const std::vector<std::pair<int, std::string>>& players) {
    for (const auto& [slot, name] : players) {
      memory.setMemory(slotAddress(slot), name);
    }
  }
  void tick() { window.Timer2_Timer(); }
};

TEST_F(VoteProcessingTest, TheRosterIsReadSlotBySlotAboveTheStartAddress) {
  activate("[Memory]\r\nPlayer Start=&H1000\r\n");
  seatPlayers({{0, "Ann"}, {3, "Bob"}, {15, "Zed"}});
  window.List3 = std::vector<std::string>(16, "2");
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
  std::vector<std::string> names(16);
  names[0] = "Ann";
  names[3] = "Bob";
  names[15] = "Zed";
  EXPECT_EQ(names, window.List1);
  // Votes for a slot nobody holds are dropped before the limit is looked at.
  std::vector<std::string> counts(16, "0");
  counts[0] = counts[3] = counts[15] = "2";
  EXPECT_EQ(counts, window.List3);
  EXPECT_TRUE(errorLogEntries().empty());
}

TEST_F(VoteProcessingTest, AddressNotations) {
  activate("[Memory]\r\nPlayer Start=4096\r\n");
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);

  window.playerStartAddress = "&HFFFFFFF0";  // -16: the first slot lies at zero
  forget();
  tick();
  EXPECT_EQ("ReadString &H0 \"16\"", journal.entries.at(0));
  EXPECT_EQ("ReadString &HF0 \"16\"", journal.entries.at(15));

  window.playerStartAddress = "&H7FFFFF00";  // the sixteenth slot would pass the largest address
  forget();
  tick();
  EXPECT_EQ(15u, window.List1.size());
  EXPECT_EQ("ReadString &H7FFFFFF0 \"16\"", journal.entries.back());

  window.playerStartAddress = "Unavailable";
  forget();
  tick();
  EXPECT_TRUE(journal.entries.empty());
  EXPECT_TRUE(window.List1.empty());
  EXPECT_EQ((std::vector<std::string>{"Overflow: player table slot after &H7FFFFFF0 - Vote Processing",
                                      "Memory/Player Start Unavailable: Type mismatch - Vote Processing"}),
            errorLogEntries());
}

TEST_F(VoteProcessingTest, WithoutAPlayerTableNothingIsReadAndNoVoteSurvives) {
  activate();
  window.List3 = std::vector<std::string>(16, "9");
  tick();
  EXPECT_EQ(kQuietEnd, journal.entries);
  EXPECT_EQ(std::vector<std::string>(16, ""), window.List1);
  EXPECT_EQ(std::vector<std::string>(16, "0"), window.List3);
}

// --- Punts for votes. ---

TEST_F(VoteProcessingTest, APlayerOverTheLimitIsPuntedAndAnnounced) {
  activate("[Memory]\r\nPlayer Start=&H1000\r\n");
  seatPlayers({{3, "Bob"}, {4, "Cy"}});
  window.List3[3] = "6";
  window.List3[4] = "5";  // equal to the limit: stays
  tick();
  EXPECT_EQ(join({rosterReads(), votedOut(3, "Bob"), kQuietEnd}), journal.entries);
  EXPECT_EQ("0", window.List3[3]);
  EXPECT_EQ("5", window.List3[4]);
  EXPECT_EQ("Bob", window.List1[3]);
}

TEST_F(VoteProcessingTest, OnlyTheExactTextTrueNamesThePlayerInTheAnnouncement) {
  activate("[Memory]\r\nPlayer Start=&H1000\r\n[Messages]\r\nDisplay Player Number=true\r\n");
  seatPlayers({{2, "Ann"}, {9, "Bob"}});
  window.List3[2] = "7";
  window.List3[9] = "6";
  tick();
  // Two players over the limit: the lower number first.
  EXPECT_EQ(join({rosterReads(), puntByVotes(2), chatMessage("Player:__voted out!"), kYield, puntByVotes(9),
                  chatMessage("Player:__voted out!"), kYield, kQuietEnd}),
            journal.entries);
}

// A player who leaves during the tick's console sequences, and a newcomer who takes his slot, must not be
// punted in his place: the slot is read again right before the punt.
TEST_F(VoteProcessingTest, APuntGoesOnlyToThePlayerTheVotesWereFor) {
  activate("[Memory]\r\nPlayer Start=&H1000\r\n");
  seatPlayers({{2, "Ann"}, {3, "Bob"}, {4, "Cy"}});
  window.List3[2] = window.List3[3] = window.List3[4] = "6";
  // During Ann's announcement Bob leaves and Eve takes slot 3; Cy leaves slot 4 empty. No key is sent for
  // either.
  host.queue([this] { seatPlayers({{3, "Eve"}, {4, ""}}); });
  tick();
  EXPECT_EQ(join({rosterReads(),
                  votedOut(2, "Ann"),
                  {kConsoleProbe, slotRead(3), kConsoleProbe, slotRead(4)},
                  kQuietEnd}),
            journal.entries);
  EXPECT_EQ(std::vector<std::string>(16, "0"), window.List3);

  // Zed leaves in the pause before the Enter of his own punt, and Ida takes his slot: the command is wiped
  // from the console line before Enter, and nothing is announced.
  seatPlayers({{3, "Zed"}});
  window.List3[3] = "6";
  memory.duringWait = [this] { seatPlayers({{3, "Ida"}}); };
  forget();
  tick();
  memory.duringWait = nullptr;
  Sequence withdrawn = puntByVotes(3);
  withdrawn.insert(withdrawn.end() - 2, {consoleWrite(""), kShortWait});
  EXPECT_EQ(join({rosterReads(), withdrawn, kQuietEnd}), journal.entries);
  EXPECT_EQ("0", window.List3[3]);
  EXPECT_EQ(
      (std::vector<std::string>{
          "No punt for votes: player 3 \"Bob\" left the slot, which \"Eve\" holds now - Vote Processing",
          "No punt for votes: player 4 \"Cy\" left the slot, which is empty now - Vote Processing",
          "No punt for votes: player 3 \"Zed\" left the slot, which \"Ida\" holds now - Vote Processing"}),
      errorLogEntries());
}

// A setting that would punt everyone, change the map or reset all votes on every tick, or end every tick
// before the operator's requests, falls back to its default at activation, with one line naming it.
TEST_F(VoteProcessingTest, UnusableLimitsFallBackToTheirDefaults) {
  const struct {
    const char* setting;
    const char* logged;
  } cases[] = {
      {"[Votes]\r\nMax Player Votes=-1", "Votes/Max Player Votes \"-1\": below 0, so the default 5 is used"},
      {"[Votes]\r\nMax Player Votes=abc",
       "Votes/Max Player Votes \"abc\": not a number, so the default 5 is used"},
      {"[Votes]\r\nMax Map Votes=-1", "Votes/Max Map Votes \"-1\": below 0, so the default 5 is used"},
      {"[Votes]\r\nMax Map Votes=abc", "Votes/Max Map Votes \"abc\": not a number, so the default 5 is used"},
      {"[General]\r\nReset Votes=-2", "General/Reset Votes \"-2\": below 0, so the default 90 is used"},
      {"[General]\r\nDisplay Summary=-1",
       "General/Display Summary \"-1\": below 0, so the default 90 is used"},
      {"[General]\r\nInterval 2=99999",
       "General/Interval 2 \"99999\": out of range, so the default 10000 is used"},
      {"Console Size=10", "Memory/Console Size \"10\": below 11, so the default 90 is used"},
      {"[General]\r\nMax Log Size KB=0",
       "General/Max Log Size KB \"0\": below 1, so the default 1024 is used"},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.setting);
    folder.write("errorlog.log", "");
    activate("[Memory]\r\nPlayer Start=&H1000\r\n" + std::string(bad.setting) + "\r\n");
    window.Form_Activate();  // the same bad value again is not logged again
    seatPlayers({{1, "Ann"}});
    window.List3.assign(16, "0");
    window.Text4 = "0";
    window.summaryCounter = window.resetCounter = 1;
    globals.raiseClearVotes();
    forget();
    tick();
    // Nothing but the operator's request reaches the game.
    EXPECT_EQ(join({rosterReads(), kQuietEnd, chatMessage(window.votesResetMessage), kYield}),
              journal.entries);
    EXPECT_EQ(std::vector<std::string>{std::string(bad.logged) + " - Settings"}, errorLogEntries());
  }
  // Fixed and broken again, the value is told again.
  activate("[Votes]\r\nMax Player Votes=-1\r\n");
  EXPECT_EQ(2u, errorLogEntries().size());
}

// --- Map changes. ---

TEST_F(VoteProcessingTest, MapVotesOverTheLimitAnnounceThenChangeTheMapAfterTheLongPause) {
  activate("[Votes]\r\nMax Map Votes=5\r\n[Memory]\r\nPlayer Start=&H1000\r\n");
  seatPlayers({{1, "Ann"}});
  window.Text4 = "5";
  tick();
  EXPECT_EQ(join({rosterReads(), kQuietEnd}), journal.entries);
  EXPECT_EQ("5", window.Text4);

  window.Text4 = "6";
  window.List3[1] = "6";
  forget();
  tick();
  // Punts come before the map change; the map notice ends with a yield and the long pause.
  EXPECT_EQ(join({rosterReads(), votedOut(1, "Ann"), mapChange(), kQuietEnd}), journal.entries);
  EXPECT_EQ("0", window.Text4);
}

// The game restarted during the map notice: the new game's players voted for nothing, so it gets no
// "resetgames"; its map count starts from none.
TEST_F(VoteProcessingTest, AGameRestartedDuringTheMapNoticeGetsNoMapChange) {
  memory.gameProcess = 1;
  activate();
  window.Text4 = "6";
  // A collection tick in the notice's pause finds the new game first.
  memory.duringWait = [this] {
    memory.gameProcess = 2;
    window.Timer1_Timer();
  };
  tick();
  memory.duringWait = nullptr;
  EXPECT_EQ(kConsoleProbe, journal.entries.at(journal.entries.size() - 3));  // and no console key after it
  EXPECT_EQ(0, std::count(journal.entries.begin(), journal.entries.end(), consoleWrite("resetgames")));
  EXPECT_EQ("0", window.Text4);
  EXPECT_EQ(
      std::vector<std::string>{"Another game process attached: the votes, the map votes and the vote log "
                               "start afresh - Game Link"},
      errorLogEntries());
}

TEST_F(VoteProcessingTest, MapLimitsCompareAsNumbers) {
  activate("[Votes]\r\nMax Map Votes=9\r\n");
  window.Text4 = "10";
  tick();
  EXPECT_EQ("0", window.Text4);

  window.maxMapVotes = "10";
  window.Text4 = "2";
  tick();
  EXPECT_EQ("2", window.Text4);

  window.maxMapVotes = "five";
  tick();
  window.Text4 = "";
  tick();
  EXPECT_EQ((std::vector<std::string>{"Type mismatch: Max Map Votes \"five\" - Vote Processing",
                                      "Type mismatch: map vote count \"\" - Vote Processing"}),
            errorLogEntries());
}

// --- The periodic summary and the automatic reset. ---

TEST_F(VoteProcessingTest, SummaryOfThreeAndOfFourLines) {
  activate("[General]\r\nDisplay Summary=0\r\nReset Votes=100\r\n");
  tick();  // counter 0 -> 1
  EXPECT_EQ(kQuietEnd, journal.entries);
  forget();
  tick();
  const Sequence threeLines =
      join({withYieldAfterStep(chatMessage("This server is running Vornak's voting system!"), 5),
            chatMessage("It allows you to vote players out of the game."), kYield,
            chatMessage(window.programInfoMessage), kYield});
  EXPECT_EQ(join({threeLines, kQuietEnd}), journal.entries);
  EXPECT_EQ(0, window.summaryCounter);

  window.extraLineMessage = "Have fun";
  window.summaryCounter = 1;
  forget();
  tick();
  EXPECT_EQ(join({threeLines, chatMessage("Have fun"), kYield, kQuietEnd}), journal.entries);
}

TEST_F(VoteProcessingTest, WithTheDefaultPeriodsSummaryAndResetFallOnTheNinetySecondTick) {
  activate();
  window.List3[7] = "3";
  for (int i = 1; i <= 91; ++i)
    tick();
  EXPECT_EQ(kQuietEnd, Sequence(journal.entries.end() - 2, journal.entries.end()));
  EXPECT_EQ(91u * 2, journal.entries.size());  // 91 quiet ticks
  EXPECT_EQ(91, window.summaryCounter);
  EXPECT_EQ(91, window.resetCounter);

  forget();
  tick();  // the 92nd
  EXPECT_EQ(0, window.summaryCounter);
  EXPECT_EQ(0, window.resetCounter);
  EXPECT_EQ(consoleWrite("This server is running Vornak's voting system!"), journal.entries.at(8));
  EXPECT_EQ(consoleWrite("All Votes Reset"), journal.entries.at(journal.entries.size() - 6));
}

TEST_F(VoteProcessingTest, TheResetNoticeComesFirstThenTheTableIsCleared) {
  activate("[General]\r\nReset Votes=2\r\n");
  for (int i = 1; i <= 3; ++i)
    tick();
  window.List3[5] = "4";
  window.Text4 = "3";
  window.Text1 = "Bob: /vote 5\r\n";
  forget();
  // A vote counted at the yield right after the notice is cleared with the rest.
  host.queue([this] { host.queue([this] { window.List3[9] = "1"; }); });
  tick();
  EXPECT_EQ(join({kYield, chatMessage("All Votes Reset"), kYield, kYield}), journal.entries);
  EXPECT_EQ(std::vector<std::string>(16, "0"), window.List3);
  EXPECT_EQ("0", window.Text4);
  EXPECT_EQ("", window.Text1);
  EXPECT_EQ(0, window.resetCounter);
}

TEST_F(VoteProcessingTest, CountersStopAtTheLargestPeriodInsteadOfOverflowing) {
  activate("[General]\r\nDisplay Summary=32767\r\nReset Votes=32767\r\n");
  window.summaryCounter = 32766;
  window.resetCounter = 32767;
  globals.banRequested = true;
  globals.banPlayerNumber = 4;
  tick();
  tick();
  EXPECT_EQ(32767, window.summaryCounter);
  EXPECT_EQ(32767, window.resetCounter);
  EXPECT_FALSE(globals.banRequested);
  EXPECT_TRUE(errorLogEntries().empty());
  EXPECT_EQ(join({kQuietEnd, consoleCommand("ban 4"), kQuietEnd}), journal.entries);
}

// --- The operator's requests. ---

TEST_F(VoteProcessingTest, PuntThenBanAreTwoCommandsAndNothingIsSaid) {
  activate();
  globals.puntPlayerNumber = 3;
  globals.puntRequested = true;
  globals.banPlayerNumber = 5;
  globals.banRequested = true;
  tick();
  EXPECT_EQ(join({kQuietEnd, consoleCommand("punt 3"), consoleCommand("ban 5")}), journal.entries);
  EXPECT_FALSE(globals.puntRequested);
  EXPECT_FALSE(globals.banRequested);

  forget();
  tick();  // no flag: nothing
  EXPECT_EQ(kQuietEnd, journal.entries);
}

TEST_F(VoteProcessingTest, ClearVotesAndNextMapInOneTick) {
  activate();
  window.Command1_Click();
  window.Command1_Click();  // pressed twice: one notice
  window.Command2_Click();
  forget();
  tick();
  EXPECT_EQ(join({kQuietEnd, chatMessage("All Votes Reset"), kYield,
                  withLastPause(withYieldAfterStep(chatMessage("The admin has voted for a map change!"), 2),
                                {kLongWait}),
                  consoleCommand("resetgames")}),
            journal.entries);
  EXPECT_FALSE(globals.clearVotesRequested);
  EXPECT_FALSE(globals.nextMapRequested);
}

TEST_F(VoteProcessingTest, TheDialogsRequestsReachTheGameOnTheNextTick) {
  activate();
  RecordingDialogWindow dialogWindow(journal);
  auto enter = [&](const std::string& number, bool ban) {
    Dialog dialog(globals, timer2, dialogWindow, window.ticks);
    dialog.Text1 = number;
    ban ? dialog.cmdban_Click() : dialog.cmdpunt_Click();
  };
  enter("3", false);
  enter("7", false);  // replaces the pending punt
  enter("5", true);
  forget();
  tick();
  EXPECT_EQ(join({kQuietEnd, consoleCommand("punt 7"), consoleCommand("ban 5")}), journal.entries);
}

TEST_F(VoteProcessingTest, APuntForANumberNoPlayerHoldsIsSentAsIs) {
  activate();
  globals.puntPlayerNumber = -1;
  globals.puntRequested = true;
  tick();
  EXPECT_EQ(join({kQuietEnd, consoleCommand("punt -1")}), journal.entries);
}

TEST_F(VoteProcessingTest, ARequestRaisedDuringTheRequestStepWaitsForItsTurnOrTheNextTick) {
  activate();
  globals.clearVotesRequested = true;
  bool raised = false;
  memory.duringWait = [this, &raised] {
    // The first pause after "All Votes Reset" was written: the operator acts now.
    if (!raised && !journal.entries.empty() && journal.entries.size() >= 2 &&
        journal.entries[journal.entries.size() - 2] == consoleWrite("All Votes Reset")) {
      raised = true;
      globals.puntPlayerNumber = 8;
      globals.puntRequested = true;
      globals.nextMapRequested = true;
    }
  };
  tick();
  EXPECT_TRUE(raised);
  EXPECT_TRUE(globals.puntRequested) << "its turn had passed: left for the next tick";
  EXPECT_FALSE(globals.nextMapRequested) << "its turn had not come: carried out in the same tick";
  EXPECT_EQ(consoleWrite("resetgames"), journal.entries.at(journal.entries.size() - 4));
  memory.duringWait = nullptr;
  forget();
  tick();
  EXPECT_EQ(join({kQuietEnd, consoleCommand("punt 8")}), journal.entries);
}

// The operator raises a request again at every pause and yield of its own sequence, the moments after its
// last command included: the request goes out in this tick and once more in the next one, never is lost.
TEST_F(VoteProcessingTest, ARequestRaisedAgainWhileItIsBeingSentStaysForTheNextTick) {
  activate();
  RecordingDialogWindow dialogWindow(journal);
  auto enterInDialog = [&](bool ban) {
    Dialog dialog(globals, timer2, dialogWindow, window.ticks);
    dialog.Text1 = "3";  // the same number as the request that is being sent
    ban ? dialog.cmdban_Click() : dialog.cmdpunt_Click();
  };
  struct Request {
    const char* name;
    std::function<void()> raise;
    std::function<bool()> pending;
    Sequence sent;
  };
  const std::vector<Request> requests = {
      {"punt", [&] { enterInDialog(false); }, [&] { return globals.puntRequested; },
       consoleCommand("punt 3")},
      {"ban", [&] { enterInDialog(true); }, [&] { return globals.banRequested; }, consoleCommand("ban 3")},
      {"clear votes", [&] { window.Command1_Click(); }, [&] { return globals.clearVotesRequested; },
       join({chatMessage("All Votes Reset"), kYield})},
      {"next map", [&] { window.Command2_Click(); }, [&] { return globals.nextMapRequested; },
       join({withLastPause(withYieldAfterStep(chatMessage("The admin has voted for a map change!"), 2),
                           {kLongWait}),
             consoleCommand("resetgames")})},
  };
  auto sentIn = [this](const Sequence& sent) {
    // The request's own calls and yields, without the notices a raise shows the operator.
    Sequence calls;
    for (const auto& entry : journal.entries) {
      if (entry.rfind("Notice ", 0) != 0 && entry != "Close")
        calls.push_back(entry);
    }
    return calls == join({kQuietEnd, sent});
  };

  for (const Request& request : requests) {
    // Moments are the pauses and yields of the tick; the first two yields come before the request step.
    const int moments = static_cast<int>(std::count(request.sent.begin(), request.sent.end(), kShortWait) +
                                         std::count(request.sent.begin(), request.sent.end(), kLongWait) +
                                         std::count(request.sent.begin(), request.sent.end(), "Yield"));
    for (int moment = 2; moment < 2 + moments; ++moment) {
      SCOPED_TRACE(std::string(request.name) + ", raised again at moment " + std::to_string(moment));
      request.raise();
      forget();
      int seen = 0;
      auto atMoment = [&] {
        if (seen++ == moment)
          request.raise();
      };
      memory.duringWait = atMoment;
      host.duringYield = atMoment;
      tick();
      memory.duringWait = nullptr;
      host.duringYield = nullptr;
      ASSERT_EQ(2 + moments, seen);
      EXPECT_TRUE(sentIn(request.sent));
      EXPECT_TRUE(request.pending()) << "raised after its turn came: kept for the next tick";

      forget();
      tick();
      EXPECT_TRUE(sentIn(request.sent)) << "carried out once more";
      EXPECT_FALSE(request.pending());
    }
  }
}

// --- Interleaving with the window. ---

TEST_F(VoteProcessingTest, AVoteTypedDuringAPauseIsCollectedAndANestedProcessingTickIsSkipped) {
  activate();
  globals.banPlayerNumber = 2;
  globals.banRequested = true;
  memory.setMemory("&H10FE6C0", "Bob: /vote 6");
  bool fired = false;
  memory.duringWait = [this, &fired] {
    if (fired)
      return;
    fired = true;
    // The window handles its events while the game link pauses: both timers fire.
    window.Timer1_Timer();
    window.Timer2_Timer();
  };
  tick();
  EXPECT_EQ("1", window.List3[6]);
  EXPECT_EQ("Bob: /vote 6\r\n", window.Text1);
  int bans = 0;
  for (const auto& entry : journal.entries)
    bans += entry == consoleWrite("ban 2") ? 1 : 0;
  EXPECT_EQ(1, bans);
  EXPECT_EQ(1, window.summaryCounter);
}

TEST_F(VoteProcessingTest, ExitDuringATickEndsItWithoutAnotherCommand) {
  activate();
  window.Text4 = "6";
  globals.banPlayerNumber = 3;
  globals.banRequested = true;
  host.queue([this] { window.exit_Click(); });  // at the yield before the map notice's long pause
  EXPECT_THROW(tick(), ProgramEnded);
  EXPECT_EQ(withLastPause(chatMessage("Map has been voted ~ map changing..."), {"Yield", "Quit"}),
            journal.entries);
  EXPECT_TRUE(errorLogEntries().empty());
}

// Exit in a processing tick's pause, inside a collection tick's yield: the end of the program passes every
// tick, and none of them is left on the record (tests go on with the same window).
TEST_F(VoteProcessingTest, ExitThroughNestedTicksLeavesNoTickRunning) {
  activate();
  globals.raisePunt(1);
  host.queue([this] { window.Timer2_Timer(); });
  memory.duringWait = [this] { window.exit_Click(); };
  EXPECT_THROW(window.Timer1_Timer(), ProgramEnded);
  memory.duringWait = nullptr;
  EXPECT_TRUE(window.ticks.collectionMayStart());
  EXPECT_TRUE(window.ticks.processingMayStart());
  EXPECT_TRUE(globals.puntRequested);
}

// --- A failing game link at every call of a busy tick. ---

TEST_F(VoteProcessingTest, AFailureAtAnyCallLeavesExactlyWhatWasDoneBeforeIt) {
  // The busy tick: 16 roster reads, a punt with its slot read twice (9 + 11 calls), a map change
  // (11 + 7), a three-line summary (33), the reset notice (11), then punt, ban, votes-cleared and next-map
  // requests (7, 7, 11, 18). Every console sequence begins with a read of the console line.
  struct Phase {
    const char* name;
    int lastCall;
  };
  const std::vector<Phase> phases = {{"roster", 16},        {"punt command", 25},  {"punt notice", 36},
                                     {"map notice", 47},    {"map command", 54},   {"summary", 87},
                                     {"reset notice", 98},  {"punt request", 105}, {"ban request", 112},
                                     {"clear notice", 123}, {"next map", 141}};
  auto phaseOf = [&phases](int call) {
    for (std::size_t p = 0; p < phases.size(); ++p) {
      if (call <= phases[p].lastCall)
        return p;
    }
    return phases.size();
  };
  auto setUpBusyTick = [this] {
    window.playerStartAddress = "&H1000";
    window.List3.assign(16, "0");
    window.List3[3] = "6";
    window.Text4 = "6";
    window.displaySummary = 0;
    window.summaryCounter = 1;
    window.resetVotes = 0;
    window.resetCounter = 1;
    globals.raisePunt(3);
    globals.raiseBan(5);
    globals.raiseClearVotes();
    globals.raiseNextMap();
  };

  activate();
  seatPlayers({{3, "Bob"}});
  setUpBusyTick();
  const int before = memory.calls();
  tick();
  ASSERT_EQ(141, memory.calls() - before);
  ASSERT_TRUE(errorLogEntries().empty());

  for (int failing = 1; failing <= 141; ++failing) {
    SCOPED_TRACE("failing call " + std::to_string(failing));
    forget();
    folder.write("errorlog.log", "");
    setUpBusyTick();
    memory.failOnCall = memory.calls() + failing;
    tick();
    memory.failOnCall.reset();
    const std::size_t failed = phaseOf(failing);
    auto done = [failed, &phases](const char* name) {
      for (std::size_t p = 0; p < failed; ++p) {
        if (std::string(phases[p].name) == name)
          return true;
      }
      return false;
    };
    ASSERT_EQ(1u, errorLogEntries().size());
    // A failing read or write names the setting whose address it used.
    const std::string call =
        *std::find_if(journal.entries.begin(), journal.entries.end(),
                      [](const std::string& entry) { return entry.find(" FAILED") != std::string::npos; });
    const std::string setting = call.find("&H11038DC") != std::string::npos ? "Memory/Console &H11038DC: "
                                : call.rfind("ReadString &H1", 0) == 0      ? "Memory/Player Start &H1000: "
                                                                            : "";
    EXPECT_EQ(setting + "game link failed on call " + std::to_string(memory.calls()) + " - Vote Processing",
              errorLogEntries()[0]);
    EXPECT_EQ(failed == 0 ? static_cast<std::size_t>(failing - 1) : 16u, window.List1.size());
    EXPECT_EQ(done("punt command") ? "0" : "6", window.List3[3]);
    EXPECT_EQ(done("map command") ? "0" : "6", window.Text4);
    EXPECT_EQ(done("summary") ? 0 : 1, window.summaryCounter);
    EXPECT_EQ(done("reset notice") ? 0 : 1, window.resetCounter);
    EXPECT_EQ(!done("punt request"), globals.puntRequested);
    EXPECT_EQ(!done("ban request"), globals.banRequested);
    EXPECT_EQ(!done("clear notice"), globals.clearVotesRequested);
    EXPECT_TRUE(globals.nextMapRequested);  // the last request: the failure always comes before it is done

    tick();  // the next tick goes on normally and finishes what was left
    EXPECT_EQ(1u, errorLogEntries().size());
    EXPECT_FALSE(globals.puntRequested || globals.banRequested || globals.clearVotesRequested ||
                 globals.nextMapRequested);
    EXPECT_EQ("0", window.List3[3]);
    EXPECT_EQ("0", window.Text4);
  }
}

// No console text runs past the console line: the punt announcement, made of two messages of up to 254
// characters and a name, is cut to the line, and each distinct cut text is told once.
TEST_F(VoteProcessingTest, AnAnnouncementLongerThanTheConsoleLineIsCutAndToldOnce) {
  const std::string longMessage(100, 'x');
  activate("[Memory]\r\nPlayer Start=&H1000\r\nConsole Size=20\r\n[Messages]\r\nPunt Message 2=" +
           longMessage + "\r\n");
  seatPlayers({{3, "Bob"}});
  for (int punt = 0; punt < 2; ++punt) {
    window.List3[3] = "6";
    tick();
  }
  const std::string cutWrite = "WriteString &H11038DC [Player:_Bob(3)xxxxx] True";
  EXPECT_EQ(2, std::count(journal.entries.begin(), journal.entries.end(), cutWrite));
  EXPECT_EQ(
      std::vector<std::string>{
          "Console text of 114 characters cut to the 19 that Memory/Console Size 20 leaves "
          "room for: Player:_Bob(3)" +
          longMessage + " - Vote Processing"},
      errorLogEntries());
}

}  // namespace
