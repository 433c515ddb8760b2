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

const Sequence kYield = {"Yield"};
// The two yields of a tick with nothing to do: the one after the summary step and the one of the reset
// step that only counts.
const Sequence kQuietEnd = {"Yield", "Yield"};

Sequence withLastPause(Sequence message, std::initializer_list<std::string> replacement) {
  message.pop_back();
  message.insert(message.end(), replacement);
  return message;
}

Sequence withYieldAfterStep(Sequence message, std::size_t step) {
  message.insert(message.begin() + static_cast<std::ptrdiff_t>(step), "Yield");
  return message;
}

Sequence rosterReads(int count, int start = 0x1000) {
  Sequence reads;
  for (int k = 1; k <= count; ++k) {
    char address[16];
    std::snprintf(address, sizeof address, "&H%X", static_cast<unsigned>(start + 16 * k));
    reads.push_back(std::string("ReadString ") + address + " \"16\"");
  }
  return reads;
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
      char address[16];
      std::snprintf(address, sizeof address, "&H%X", static_cast<unsigned>(0x1000 + 16 * (slot + 1)));
      memory.setMemory(address, name);
    }
  }
  void tick() { window.Timer2_Timer(); }
};

TEST_F(VoteProcessingTest, TheRosterIsReadSlotBySlotAboveTheStartAddress) {
  activate("[Memory]\r\nPlayer Start=&H1000\r\n");
  seatPlayers({{0, "Ann"}, {3, "Bob"}, {15, "Zed"}});
  window.List3 = std::vector<std::string>(16, "2");
  tick();
  EXPECT_EQ(join({rosterReads(16), kQuietEnd}), journal.entries);
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
  EXPECT_EQ(join({rosterReads(16), kQuietEnd}), journal.entries);

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
                                      "Type mismatch: Player Start \"Unavailable\" - Vote Processing"}),
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
  EXPECT_EQ(join({rosterReads(16), consoleCommand("punt 3"), chatMessage("Player:_Bob(3)_voted out!"), kYield,
                  kQuietEnd}),
            journal.entries);
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
  EXPECT_EQ(join({rosterReads(16), consoleCommand("punt 2"), chatMessage("Player:__voted out!"), kYield,
                  consoleCommand("punt 9"), chatMessage("Player:__voted out!"), kYield, kQuietEnd}),
            journal.entries);
}

TEST_F(VoteProcessingTest, ANegativeLimitPuntsEverySlotOnEveryTick) {
  activate("[Votes]\r\nMax Player Votes=-1\r\n");
  for (int round = 0; round < 2; ++round) {
    forget();
    tick();
    int punts = 0;
    for (const auto& entry : journal.entries)
      punts += entry.rfind("WriteString &H11038DC [punt ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(16, punts);
  }
  EXPECT_EQ(consoleWrite("Player:_(15)_voted out!"), journal.entries.at(journal.entries.size() - 7));
}

// --- Map changes. ---

TEST_F(VoteProcessingTest, MapVotesOverTheLimitAnnounceThenChangeTheMapAfterTheLongPause) {
  activate("[Votes]\r\nMax Map Votes=5\r\n[Memory]\r\nPlayer Start=&H1000\r\n");
  seatPlayers({{1, "Ann"}});
  window.Text4 = "5";
  tick();
  EXPECT_EQ(join({rosterReads(16), kQuietEnd}), journal.entries);
  EXPECT_EQ("5", window.Text4);

  window.Text4 = "6";
  window.List3[1] = "6";
  forget();
  tick();
  // Punts come before the map change; the map notice ends with a yield and the long pause.
  EXPECT_EQ(join({rosterReads(16), consoleCommand("punt 1"), chatMessage("Player:_Ann(1)_voted out!"), kYield,
                  withLastPause(chatMessage("Map has been voted ~ map changing..."), {"Yield", kLongWait}),
                  consoleCommand("resetgames"), kQuietEnd}),
            journal.entries);
  EXPECT_EQ("0", window.Text4);
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
  EXPECT_EQ(consoleWrite("This server is running Vornak's voting system!"), journal.entries.at(7));
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
  // The busy tick: 16 roster reads, a punt (6 + 10 calls), a map change (10 + 6), a three-line summary
  // (30), the reset notice (10), then punt, ban, votes-cleared and next-map requests (6, 6, 10, 16).
  struct Phase {
    const char* name;
    int lastCall;
  };
  const std::vector<Phase> phases = {{"roster", 16},        {"punt command", 22}, {"punt notice", 32},
                                     {"map notice", 42},    {"map command", 48},  {"summary", 78},
                                     {"reset notice", 88},  {"punt request", 94}, {"ban request", 100},
                                     {"clear notice", 110}, {"next map", 126}};
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
    globals = Globals{3, true, 5, true, true, true};
  };

  activate();
  seatPlayers({{3, "Bob"}});
  setUpBusyTick();
  const int before = memory.calls();
  tick();
  ASSERT_EQ(126, memory.calls() - before);
  ASSERT_TRUE(errorLogEntries().empty());

  for (int failing = 1; failing <= 126; ++failing) {
    SCOPED_TRACE("failing call " + std::to_string(failing));
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
    EXPECT_EQ("game link failed on call " + std::to_string(memory.calls()) + " - Vote Processing",
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

}  // namespace
