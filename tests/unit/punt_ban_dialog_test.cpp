// The punt/ban dialog: what it leaves in Globals for the processing tick, what it tells the operator, and
// that a bad entry changes nothing.
#include "dialogs/punt_ban_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "support/dialog_doubles.h"
#include "support/journal.h"
#include "support/virtual_host.h"

namespace {

using Entries = std::vector<std::string>;

const std::string kPunted =
    "Notice The player will be punted on the next checking cycle.\r\n(Under 10000m/s)";
const std::string kBanned =
    "Notice The player will be banned on the next checking cycle.\r\n(Under 10000m/s)";
const std::string kFailed = "Notice An error occured, unable to proccess your request!\r\n\r\n";

class PuntBanDialogTest : public ::testing::Test {
 protected:
  PuntBanDialogTest() { timer2.setInterval(10000); }

  Journal journal;
  Globals globals;
  VirtualTimer timer2;
  RecordingDialogWindow window{journal};
  TickNesting ticks;
  Dialog dialog{globals, timer2, window, ticks};
};

TEST_F(PuntBanDialogTest, RequestIsPendingBeforeTheNoticeAndTheDialogClosesAfterIt) {
  // What a processing tick behind the modal notice would find.
  window.whileNoticeOpen = [this] {
    journal.add("punt " + std::to_string(globals.puntRequested) + "/" +
                std::to_string(globals.puntPlayerNumber) + " ban " + std::to_string(globals.banRequested) +
                "/" + std::to_string(globals.banPlayerNumber));
  };
  dialog.Text1 = "3";
  dialog.cmdpunt_Click();
  timer2.setInterval(2500);
  dialog.Text1 = "12";
  dialog.cmdban_Click();
  EXPECT_EQ(journal.entries,
            (Entries{kPunted, "punt 1/3 ban 0/0", "Close",
                     "Notice The player will be banned on the next checking cycle.\r\n(Under 2500m/s)",
                     "punt 1/3 ban 1/12", "Close"}));
  EXPECT_FALSE(globals.clearVotesRequested);
  EXPECT_FALSE(globals.nextMapRequested);
}

TEST_F(PuntBanDialogTest, EveryNumberThatConvertsIsAcceptedWithoutRangeCheck) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"3", 3},  {" 4", 4},  {"4 ", 4},  {"-1", -1},         {"99", 99},
      {"+7", 7}, {"2.5", 2}, {"3.5", 4}, {"-32768", -32768}, {"32767", 32767}};
  for (const auto& [text, number] : cases) {
    SCOPED_TRACE("Text1 \"" + text + "\"");
    journal.clear();
    dialog.Text1 = text;
    dialog.cmdban_Click();
    EXPECT_EQ(globals.banPlayerNumber, number);
    EXPECT_TRUE(globals.banRequested);
    EXPECT_EQ(journal.entries, (Entries{kBanned, "Close"}));
  }
}

TEST_F(PuntBanDialogTest, TextThatIsNoSixteenBitNumberChangesNothingAndKeepsTheDialogOpen) {
  globals.puntPlayerNumber = 7;
  globals.puntRequested = true;  // an earlier punt still waits
  for (const std::string text : {"", "  ", "ab", "4a", "99999", "-32769", "32767.5"}) {
    SCOPED_TRACE("Text1 \"" + text + "\"");
    journal.clear();
    dialog.Text1 = text;
    dialog.cmdpunt_Click();
    dialog.cmdban_Click();
    EXPECT_EQ(journal.entries, (Entries{kFailed, kFailed}));
    EXPECT_EQ(globals.puntPlayerNumber, 7);
    EXPECT_TRUE(globals.puntRequested);
    EXPECT_EQ(globals.banPlayerNumber, 0);
    EXPECT_FALSE(globals.banRequested);
    EXPECT_EQ(dialog.Text1, text);
  }
  // The operator corrects the entry in the same dialog.
  journal.clear();
  dialog.Text1 = "5";
  dialog.cmdpunt_Click();
  EXPECT_EQ(journal.entries, (Entries{kPunted, "Close"}));
  EXPECT_EQ(globals.puntPlayerNumber, 5);
}

// Each request in a dialog of its own, as the operator opens one per request.
TEST_F(PuntBanDialogTest, LaterRequestOfTheSameKindReplacesTheNumberAndCancelChangesNothing) {
  const std::vector<std::pair<std::string, void (Dialog::*)()>> requests = {{"3", &Dialog::cmdpunt_Click},
                                                                            {"5", &Dialog::cmdban_Click},
                                                                            {"7", &Dialog::cmdpunt_Click},
                                                                            {"9", &Dialog::Command1_Click}};
  for (const auto& [text, click] : requests) {
    Dialog later{globals, timer2, window, ticks};
    later.Text1 = text;
    journal.clear();
    (later.*click)();
  }
  EXPECT_EQ(journal.entries, (Entries{"Close"}));
  EXPECT_EQ(globals.puntPlayerNumber, 7);
  EXPECT_TRUE(globals.puntRequested);
  EXPECT_EQ(globals.banPlayerNumber, 5);
  EXPECT_TRUE(globals.banRequested);
}

}  // namespace
