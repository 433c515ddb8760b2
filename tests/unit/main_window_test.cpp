// Start-up, activation and the operator's buttons and menus of the main window, with real settings files.
#include <gtest/gtest.h>

#include <random>

#include "support/main_window_fixture.h"

namespace {

using namespace std::string_literals;

const std::string kDefaultGame = "Delta Force Land Warrior,  V1.00.42";

using MainWindowStartTest = MainWindowTest;

TEST_F(MainWindowStartTest, LoadFillsSixteenPlayerRows) {
  const std::vector<std::string> numbers = {"00", "01", "02", "03", "04", "05", "06", "07",
                                            "08", "09", "10", "11", "12", "13", "14", "15"};
  EXPECT_EQ(numbers, window.List2);
  EXPECT_EQ(std::vector<std::string>(16, ""), window.List1);
  EXPECT_EQ(std::vector<std::string>(16, "0"), window.List3);
  EXPECT_EQ("0", window.Text4);
  EXPECT_EQ("", window.Text1);
  EXPECT_EQ("Pause Service", window.Command4Caption);
}

TEST_F(MainWindowStartTest, WithoutASettingsFileEveryDefaultHoldsAndTheChooserOpens) {
  window.Form_Activate();
  EXPECT_EQ(std::vector<std::string>{"ShowChooser"}, journal.entries);  // and no attach
  EXPECT_EQ(kDefaultGame, window.gameName);
  EXPECT_EQ("&H10FE6C0", window.chatAddress);
  EXPECT_EQ("&H11038DC", window.consoleAddress);
  EXPECT_EQ("Player:_", window.puntMessage1);
  EXPECT_EQ("True", window.displayPlayerNumber);
  EXPECT_EQ("_voted out!", window.puntMessage2);
  EXPECT_EQ(5, window.maxPlayerVotes);
  EXPECT_EQ("5", window.maxMapVotes);
  EXPECT_EQ("Map has been voted ~ map changing...", window.mapVotedOutMessage);
  EXPECT_EQ("The admin has voted for a map change!", window.adminNextMapMessage);
  EXPECT_EQ(90, window.displaySummary);
  EXPECT_EQ(500, window.collectInterval);
  EXPECT_EQ(10000, window.processInterval);
  EXPECT_EQ("This server is running Vornak's voting system!", window.serverRunningMessage);
  EXPECT_EQ("It allows you to vote players out of the game.", window.programSummaryMessage);
  EXPECT_FALSE(window.programInfoMessage.empty());
  EXPECT_EQ("", window.extraLineMessage);
  EXPECT_EQ("All Votes Reset", window.votesResetMessage);
  EXPECT_EQ(90, window.resetVotes);
  EXPECT_TRUE(window.firstRun);
  EXPECT_EQ("", window.playerStartAddress);
  EXPECT_EQ(500, timer1.interval());
  EXPECT_EQ(10000, timer2.interval());
  EXPECT_FALSE(window.gameAttached);
}

TEST_F(MainWindowStartTest, EverySettingIsReadFromItsSectionAndKey) {
  writeSettings(
      "[game]\r\nname = My Game \r\n"
      "[Memory]\r\nChat=&H1\r\nConsole=&H2\r\nPlayer Start=&H3\r\n"
      "[Messages]\r\nPunt Message 1=P1\r\nDisplay Player Number=False\r\nPunt Message 2=P2\r\n"
      "Map Voted Out=MV\r\nNext Map - Admin=NM\r\nServer Running=SR\r\nProgram Summary=PS\r\n"
      "Program Info=PI\r\nExtra Line=EL\r\nVotes Reset=VR\r\n"
      "[Votes]\r\nMax Player Votes=0\r\nMax Map Votes=3.5\r\n"
      "[General]\r\nDisplay Summary=2.5\r\nInterval=250\r\nInterval 2=0\r\nReset Votes=7\r\nFIRST RUN=0\r\n");
  window.Form_Activate();
  EXPECT_EQ((std::vector<std::string>{"OpenGame My Game"}), journal.entries);
  EXPECT_TRUE(window.gameAttached);
  EXPECT_EQ("&H1", window.chatAddress);
  EXPECT_EQ("&H2", window.consoleAddress);
  EXPECT_EQ("&H3", window.playerStartAddress);
  EXPECT_EQ("P1", window.puntMessage1);
  EXPECT_EQ("False", window.displayPlayerNumber);
  EXPECT_EQ("P2", window.puntMessage2);
  EXPECT_EQ("MV", window.mapVotedOutMessage);
  EXPECT_EQ("NM", window.adminNextMapMessage);
  EXPECT_EQ("SR", window.serverRunningMessage);
  EXPECT_EQ("PS", window.programSummaryMessage);
  EXPECT_EQ("PI", window.programInfoMessage);
  EXPECT_EQ("EL", window.extraLineMessage);
  EXPECT_EQ("VR", window.votesResetMessage);
  EXPECT_EQ(0, window.maxPlayerVotes);
  EXPECT_EQ("3.5", window.maxMapVotes);  // kept as text; compared by the processing tick
  EXPECT_EQ(2, window.displaySummary);
  EXPECT_EQ(7, window.resetVotes);
  EXPECT_FALSE(window.firstRun);
  EXPECT_EQ(250, timer1.interval());
  EXPECT_EQ(0, timer2.interval());  // the processing tick never runs
}

TEST_F(MainWindowStartTest, IntegerAndBooleanKeysThatDoNotConvertFallBackToTheirDefaults) {
  writeSettings(
      "[Votes]\r\nMax Player Votes=five\r\n"
      "[General]\r\nDisplay Summary=40000\r\nInterval=\r\nInterval 2=-100\r\nReset Votes=1e3\r\n"
      "First Run=maybe\r\n");
  window.Form_Activate();
  EXPECT_EQ(5, window.maxPlayerVotes);
  EXPECT_EQ(90, window.displaySummary);
  EXPECT_EQ(500, window.collectInterval);
  EXPECT_EQ(10000, window.processInterval);  // a timer cannot run at a negative interval
  EXPECT_EQ(90, window.resetVotes);
  EXPECT_TRUE(window.firstRun);
  EXPECT_EQ(std::vector<std::string>{"ShowChooser"}, journal.entries);
}

// Random bytes other than NUL: a file with NUL bytes is no text the activation reads.
TEST_F(MainWindowStartTest, ASettingsFileOfRandomBytesGivesTheDefaults) {
  std::mt19937 random(7);
  std::string bytes(200000, '\0');
  for (auto& byte : bytes)
    byte = static_cast<char>(1 + random() % 255);
  writeSettings(bytes);
  window.Form_Activate();
  EXPECT_EQ(500, timer1.interval());
  EXPECT_EQ(10000, timer2.interval());
  EXPECT_EQ(kDefaultGame, window.gameName);
}

TEST_F(MainWindowStartTest, EveryActivationReloadsAndAttachesAgainButKeepsTheRunState) {
  writeAttachingSettings("[General]\r\nInterval=300\r\n");
  window.Form_Activate();
  window.servicePaused = true;
  window.lastChatLine = "Bob: hi";
  window.puntAnnouncement = "earlier";
  window.summaryCounter = 12;
  window.resetCounter = 34;
  timer1.setEnabled(false);
  timer2.setEnabled(false);
  INI::WriteIniValue(window.settingsPath(), "General", "Interval", "400");
  INI::WriteIniValue(window.settingsPath(), "Game", "Name", "Other Game");

  window.Form_Activate();
  EXPECT_EQ((std::vector<std::string>{"OpenGame " + kDefaultGame, "OpenGame Other Game"}), journal.entries);
  EXPECT_EQ(400, timer1.interval());
  EXPECT_FALSE(timer1.enabled());  // a paused service stays paused
  EXPECT_FALSE(timer2.enabled());
  EXPECT_TRUE(window.servicePaused);
  EXPECT_EQ("Bob: hi", window.lastChatLine);
  EXPECT_EQ("earlier", window.puntAnnouncement);
  EXPECT_EQ(12, window.summaryCounter);
  EXPECT_EQ(34, window.resetCounter);

  memory.gameRunning = false;  // a failed attach shows nothing here
  forget();
  window.Form_Activate();
  EXPECT_FALSE(window.gameAttached);
  EXPECT_EQ(std::vector<std::string>{"OpenGame Other Game"}, journal.entries);
}

TEST_F(MainWindowStartTest, AfterTheChooserConfirmsAGameTheNextActivationAttachesToIt) {
  window.Form_Activate();
  EXPECT_EQ(std::vector<std::string>{"ShowChooser"}, journal.entries);
  window.Form_Activate();  // the chooser was cancelled: it opens again
  EXPECT_EQ((std::vector<std::string>{"ShowChooser", "ShowChooser"}), journal.entries);

  INI::WriteIniValue(window.settingsPath(), "Game", "Name", "Chosen");
  INI::WriteIniValue(window.settingsPath(), "General", "First Run", "False");
  forget();
  window.Form_Activate();
  EXPECT_EQ(std::vector<std::string>{"OpenGame Chosen"}, journal.entries);
}

// A settings file that turns unreadable after a good activation: the activation tells the host why and
// changes nothing else. Read again, the file counts as before.
TEST_F(MainWindowStartTest, AnUnreadableSettingsFileIsReportedAndChangesNothing) {
  const std::string settings =
      "[Game]\r\nName=My Game\r\n[General]\r\nFirst Run=False\r\nInterval=300\r\n"
      "[Fair Votes]\r\nOne Vote Per Player=True\r\n";
  writeSettings(settings);
  window.Form_Activate();
  writeSettings("\xFF\xFE[\0G\0]\0"s);
  window.gameAttached = true;
  timer1.setInterval(1);
  forget();
  window.Form_Activate();
  const std::string reason = "is UTF-16 text; save it as ANSI or UTF-8 text";
  EXPECT_EQ(std::vector<std::string>{"SettingsUnreadable " + window.settingsPath().string() + ": " + reason},
            journal.entries);
  EXPECT_EQ(reason, window.unreadableSettings);
  EXPECT_EQ("My Game", window.gameName);
  EXPECT_FALSE(window.firstRun);
  EXPECT_EQ(300, window.collectInterval);
  EXPECT_TRUE(window.fairVotes.settings.oneVotePerPlayer);
  EXPECT_EQ(1, timer1.interval());
  EXPECT_TRUE(window.gameAttached);

  writeSettings(settings);
  forget();
  window.Form_Activate();
  EXPECT_EQ(std::vector<std::string>{"OpenGame My Game"}, journal.entries);
  EXPECT_EQ("", window.unreadableSettings);
  EXPECT_EQ(300, timer1.interval());
}

// --- The operator's buttons and menus. ---

TEST_F(MainWindowStartTest, AGameLinkThatRaisesOnAttachIsReportedAndRetriedByTheCollectionTick) {
  writeAttachingSettings();
  window.gameAttached = true;
  memory.failOnCall = 1;  // the attach itself raises instead of answering false
  window.Form_Activate();
  EXPECT_FALSE(window.gameAttached);
  EXPECT_EQ((std::vector<std::string>{
                "OpenGame " + kDefaultGame + " FAILED",
                "Notice Unable to connect to: " + kDefaultGame + "\r\ngame link failed on call 1"}),
            journal.entries);
  EXPECT_EQ(500, timer1.interval());  // the rest of the activation had already happened

  forget();
  window.Timer1_Timer();
  EXPECT_TRUE(window.gameAttached);
  EXPECT_EQ((std::vector<std::string>{"OpenGame " + kDefaultGame, "ReadString &H10FE6C0 90", "Yield"}),
            journal.entries);
  EXPECT_TRUE(errorLogEntries().empty());
}

class OperatorControlsTest : public MainWindowTest {
 protected:
  OperatorControlsTest() {
    writeAttachingSettings();
    window.Form_Activate();
    timer1.setEnabled(true);
    timer2.setEnabled(true);
    forget();
  }
};

TEST_F(OperatorControlsTest, ClearVotesEmptiesTheTableAtOnceAndLeavesANotice) {
  window.List3.assign(16, "3");
  window.List1.resize(5);  // a roster scan that failed half-way
  window.Text4 = "4";
  window.Text1 = "Bob: /vote 3\r\n";
  window.Command1_Click();
  EXPECT_EQ(std::vector<std::string>(16, "0"), window.List3);
  EXPECT_EQ("0", window.Text4);
  EXPECT_EQ("", window.Text1);
  EXPECT_TRUE(globals.clearVotesRequested);
  EXPECT_TRUE(journal.entries.empty());  // nothing shown, nothing sent
}

TEST_F(OperatorControlsTest, NextMapRaisesItsRequestBeforeTheNoticeAndClearsTheMapCountAfterIt) {
  window.Text4 = "4";
  bool raisedWhileOpen = false;
  std::string countWhileOpen;
  host.whileNoticeOpen = [&] {
    raisedWhileOpen = globals.nextMapRequested;
    countWhileOpen = window.Text4;
  };
  window.nextmap_Click();
  EXPECT_EQ(std::vector<std::string>{"Notice Map will be reset on the next checking cycle.\r\n"
                                     "(under 10000m/s)\r\nMap votes reset"},
            journal.entries);
  EXPECT_TRUE(raisedWhileOpen);
  EXPECT_EQ("4", countWhileOpen);
  EXPECT_EQ("0", window.Text4);
}

TEST_F(OperatorControlsTest, PauseStopsBothTimersAndStartReloadsAndAttaches) {
  window.Command1_Click();
  window.Command4_Click();
  EXPECT_FALSE(timer1.enabled());
  EXPECT_FALSE(timer2.enabled());
  EXPECT_TRUE(window.servicePaused);
  EXPECT_EQ("Start Service", window.Command4Caption);
  EXPECT_TRUE(globals.clearVotesRequested);  // requests wait while paused
  EXPECT_TRUE(journal.entries.empty());

  INI::WriteIniValue(window.settingsPath(), "General", "Interval 2", "2000");
  window.Command4_Click();
  EXPECT_TRUE(timer1.enabled());
  EXPECT_TRUE(timer2.enabled());
  EXPECT_FALSE(window.servicePaused);
  EXPECT_EQ("Pause Service", window.Command4Caption);
  EXPECT_EQ(2000, timer2.interval());
  EXPECT_EQ(std::vector<std::string>{"OpenGame " + kDefaultGame}, journal.entries);
}

TEST_F(OperatorControlsTest, MenusOpenTheOtherWindowsAndExitQuits) {
  window.Command3_Click();
  window.puntbanplayer_Click();
  window.choosegame_Click();
  window.about_Click();
  window.onlinehelp_Click();
  EXPECT_THROW(window.exit_Click(), ProgramEnded);
  EXPECT_EQ(
      (std::vector<std::string>{"ShowPuntBanDialog", "ShowPuntBanDialog", "ShowChooser", "ShowAbout",
                                "OpenWebPage http://zarn-vote.example/general/index.php?page=vote", "Quit"}),
      journal.entries);
}

}  // namespace
