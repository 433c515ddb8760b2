// The simulated game's rules without a window: console, talk, ban, scripted players and how keys are taken.
#include "game_sim/game.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace gamesim {
namespace {

using Lines = std::vector<std::string>;

class GameTest : public ::testing::Test {
 protected:
  // Times are ms since the start; keys are sent a second in, well after the start's own activation.
  void load(const std::string& scenario = "") {
    game_ = std::make_unique<Game>(memory(), parseScenario(scenario, "test.txt"), transcript_);
    game_->start(0, "Game", 42, "0x1", 0x10FE6C0, 0x11038DC, 0x1100000);
    game_->advance(0);
    now_ = 1000;
  }

  void key(const std::string& name, std::int64_t holdMs = 30) {
    now_ += 100;
    game_->keyPress(name, now_);
    now_ += holdMs;
    game_->keyRelease(name, now_);
  }

  // What a program does for one console command: the key that opens the console, the line, Return.
  void console(const std::string& line) {
    writeText(console_, line);
    key("Return");
  }

  // What a program that writes past the console line does: a text and its NUL that fill the line and then
  // `bytesPast` bytes behind it, at most the guard's.
  void writePast(std::size_t bytesPast) {
    const std::string text(kDefaultConsoleBytes - 1 + bytesPast, 'x');
    std::copy(text.c_str(), text.c_str() + text.size() + 1, consoleAndGuard_.begin());
  }

  Lines take() {
    Lines taken;
    taken.swap(lines_);
    return taken;
  }

  GameMemory memory() { return {chat_, console_, players_, guard_}; }
  std::string slotBytes(int slot) { return readText(memory().slot(slot)); }
  std::array<char, kChatBytes> chat_{};
  // The console line and the guard behind it in one block, as in the game's memory.
  std::array<char, kDefaultConsoleBytes + kGuardBytes> consoleAndGuard_{};
  std::span<char> console_{consoleAndGuard_.data(), kDefaultConsoleBytes};
  std::span<char> guard_{consoleAndGuard_.data() + kDefaultConsoleBytes, kGuardBytes};
  std::array<char, kPlayerTableBytes> players_{};
  Lines lines_;
  Transcript transcript_{[this](std::string_view line) {
    // "[   12.345] " is 12 characters; the tests look at the words after it.
    lines_.emplace_back(line.substr(12, line.size() - 13));
  }};
  std::unique_ptr<Game> game_;
  std::int64_t now_ = 0;
};

TEST_F(GameTest, StartLineNamesPidWindowAddressesAndTitle) {
  load();
  EXPECT_EQ(take(), (Lines{"START pid 42 window 0x1 chat &H10FE6C0 console &H11038DC players &H1100000 title "
                           "\"Game\""}));
}

TEST_F(GameTest, ConsoleOpensOnGraveAndRunsItsLineFromMemoryOnReturn) {
  load("0 join 3 Bob");
  take();
  console("punt 3");  // console still closed: Return does nothing, the line stays
  EXPECT_EQ(take(), (Lines{"KEY Return"}));
  EXPECT_EQ(readText(console_), "punt 3");
  EXPECT_EQ(game_->player(3), "Bob");

  key("grave");
  key("grave");  // pressed again while open: stays open, no second notice
  EXPECT_EQ(take(), (Lines{"KEY grave", "CONSOLE open", "KEY grave"}));

  key("Return");
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND punt 3", "PUNT 3 Bob"}));
  EXPECT_EQ(slotBytes(3), "");
  EXPECT_EQ(std::count(console_.begin(), console_.end(), '\0'), static_cast<long>(kDefaultConsoleBytes));

  // The console stays open after a command, as the game leaves it.
  console("resetgames");
  console("resetgames");
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND resetgames", "MAP 2", "KEY Return", "COMMAND resetgames",
                           "MAP 3"}));
  EXPECT_TRUE(game_->consoleOpen());
}

TEST_F(GameTest, CommandIsTheLineUpToItsFirstNul) {
  load();
  key("grave");
  take();
  const std::string line = std::string("resetgames") + '\0' + "junk";
  std::copy(line.begin(), line.end(), console_.begin());
  key("Return");
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND resetgames", "MAP 2"}));
}

TEST_F(GameTest, OnlyExactCommandsWithASlotFrom0To15AreUnderstood) {
  load();
  key("grave");
  take();
  for (const std::string line : {"punt 16", "punt -1", "punt +1", "punt", "punt ", "punt 3x", "Punt 3",
                                 "punt  3", "ban 99", "talk now", "resetgames "}) {
    console(line);
    EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND " + line, "UNKNOWN " + line})) << line;
  }
  console("");  // Enter on an empty line does nothing
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND"}));
  console("punt 7");
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND punt 7", "PUNT 7 (empty slot)"}));
}

TEST_F(GameTest, WritesPastTheConsoleLineAreReportedOnceEachAndTheGuardIsSetBack) {
  load();
  EXPECT_EQ(overwrittenGuardBytes(guard_), 0u);
  EXPECT_NE(guard_[0], '\0');  // a NUL written one byte too far shows too
  key("grave");
  take();
  writePast(0);  // the text and its NUL fill the line exactly
  key("Return");
  EXPECT_EQ(take(),
            (Lines{"KEY Return", "COMMAND " + std::string(255, 'x'), "UNKNOWN " + std::string(255, 'x')}));

  writePast(5);
  key("Return");
  const Lines lines = take();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "MEMORY CORRUPTED: 5 bytes after the console line were overwritten");
  EXPECT_EQ(lines[2].substr(0, 8), "COMMAND ");
  EXPECT_EQ(overwrittenGuardBytes(guard_), 0u);
  key("Return");  // set back: the same overrun is not told twice
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND"}));

  // Over the whole guard with no Return: the look a second after the last one finds it.
  writePast(kGuardBytes);
  game_->advance(now_ + kGuardCheckMs - 1);
  EXPECT_TRUE(take().empty());
  game_->advance(now_ + kGuardCheckMs);
  EXPECT_EQ(take(), (Lines{"MEMORY CORRUPTED: 16 bytes after the console line were overwritten"}));
  game_->advance(now_ + 5 * kGuardCheckMs);
  EXPECT_TRUE(take().empty());
}

TEST_F(GameTest, TalkMakesTheNextLineTheHostsChatLine) {
  load("0 join 3 Bob");
  key("grave");
  take();
  console("talk");
  console("punt 3");  // a message, not a command
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND talk", "KEY Return", "TALK punt 3", "CHAT Host: punt 3"}));
  EXPECT_EQ(readText(chat_), "Host: punt 3");
  EXPECT_EQ(game_->player(3), "Bob");

  console("punt 3");  // talk applied to one line only
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND punt 3", "PUNT 3 Bob"}));

  console("talk");
  console("");
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND talk", "KEY Return", "TALK", "CHAT Host: "}));
}

TEST_F(GameTest, ChatLineIsCutTo90BytesAndEndsInNul) {
  const std::string message(100, 'm');
  load("1 join 0 Ann\n2 say 0 " + message);
  key("grave");
  console("talk");
  console(message);
  EXPECT_EQ(readText(chat_), ("Host: " + message).substr(0, 90));
  EXPECT_EQ(chat_[90], '\0');

  game_->advance(2000);
  EXPECT_EQ(readText(chat_), ("Ann: " + message).substr(0, 90));
  EXPECT_EQ(take().back(), "CHAT " + ("Ann: " + message).substr(0, 90));
}

TEST_F(GameTest, BanEmptiesTheSlotAndRefusesThatNameLater) {
  load("0 join 3 Bob\n0 join 5 Cid\n5 join 3 Bob\n5 join 4 Bobby\n6 join 6 Cid");
  take();
  key("grave");
  console("ban 3");
  console("punt 5");
  EXPECT_EQ(take(), (Lines{"KEY grave", "CONSOLE open", "KEY Return", "COMMAND ban 3", "BAN 3 Bob",
                           "KEY Return", "COMMAND punt 5", "PUNT 5 Cid"}));
  EXPECT_EQ(slotBytes(3), "");

  game_->advance(6000);
  // A punted player may come back; a banned one may not, in any slot.
  EXPECT_EQ(take(), (Lines{"REFUSED Bob", "JOIN 4 Bobby", "JOIN 6 Cid"}));
  EXPECT_EQ(slotBytes(3), "");

  console("ban 9");  // an empty slot bars nobody
  EXPECT_EQ(take(), (Lines{"KEY Return", "COMMAND ban 9", "BAN 9 (empty slot)"}));
}

TEST_F(GameTest, ScriptedPlayersFillTheTableAndTheChat) {
  load("1 join 0 Ann\n1 join 15 Zed\n2 say 15 /vote  3 \n3 join 15 Max\n4 leave 15\n4 leave 15\n4 say 15 hi");
  take();
  EXPECT_EQ(game_->nextDueMs(), 1000);
  game_->advance(1999);
  EXPECT_EQ(take(), (Lines{"JOIN 0 Ann", "JOIN 15 Zed"}));
  // Slot k lies 16 * (k + 1) bytes into the table; the first 16 bytes are no slot.
  EXPECT_EQ(std::string(players_.data() + 16, 4), std::string("Ann\0", 4));
  EXPECT_EQ(std::string(players_.data() + 256, 4), std::string("Zed\0", 4));
  EXPECT_EQ(std::count(players_.begin(), players_.begin() + 16, '\0'), 16);

  game_->advance(2000);
  EXPECT_EQ(take(), (Lines{"CHAT Zed: /vote  3 "}));
  game_->advance(3000);
  EXPECT_EQ(take(), (Lines{"LEAVE 15 Zed", "JOIN 15 Max"}));
  game_->advance(4000);  // leaving twice and talking from an empty slot leave no trace
  EXPECT_EQ(take(), (Lines{"LEAVE 15 Max"}));
  EXPECT_EQ(slotBytes(15), "");
  EXPECT_EQ(readText(chat_), "Zed: /vote  3 ");
  EXPECT_EQ(game_->nextDueMs(), std::nullopt);
}

TEST_F(GameTest, KeysNeedAnActiveWindowAndOnePollOfTenMilliseconds) {
  load();
  take();
  game_->deactivate(1000);
  game_->deactivate(1001);
  game_->keyPress("grave", 1002);
  game_->keyRelease("grave", 1040);
  EXPECT_EQ(take(), (Lines{"INACTIVE", "DROPPED grave"}));

  game_->activate(2000);
  game_->keyPress("grave", 2009);  // the keyboard is taken back only at the next poll
  game_->keyRelease("grave", 2040);
  game_->keyPress("grave", 2100);
  game_->keyRelease("grave", 2109);  // pressed and released between two polls
  EXPECT_EQ(take(), (Lines{"ACTIVE", "MISSED grave 9 ms after activation", "MISSED grave held 9 ms"}));

  game_->deactivate(2990);
  game_->activate(3000);
  game_->keyPress("grave", 3010);
  game_->keyRelease("grave", 3020);
  EXPECT_EQ(take(), (Lines{"INACTIVE", "ACTIVE", "KEY grave", "CONSOLE open"}));

  // Activating the window that is already active costs nothing.
  game_->activate(3100);
  game_->keyPress("a", 3101);
  game_->keyRelease("a", 3131);
  EXPECT_EQ(take(), (Lines{"KEY a"}));
}

TEST_F(GameTest, HeldKeyIsTakenAtTheNextPollAndLostWithTheFocus) {
  load();
  take();
  game_->keyPress("Return", 1000);
  EXPECT_EQ(game_->nextDueMs(), 1010);
  game_->advance(1009);
  EXPECT_TRUE(take().empty());
  game_->advance(1010);
  game_->keyRelease("Return", 5000);
  EXPECT_EQ(take(), (Lines{"KEY Return"}));

  game_->keyPress("grave", 6000);
  game_->deactivate(6005);
  game_->keyRelease("grave", 6040);
  EXPECT_EQ(take(), (Lines{"INACTIVE", "DROPPED grave"}));
}

// The scenario only asks for the window to go or come; the game hears from the platform when it did.
TEST_F(GameTest, WindowGoneEndsTheActivationAndAHeldKeyWhilePlayersCarryOn) {
  load("1 window gone\n1.5 join 2 Ann\n2 window back\n3 window back\n");
  take();
  EXPECT_TRUE(game_->windowWanted());
  game_->keyPress("grave", 1000);
  game_->advance(1001);
  EXPECT_FALSE(game_->windowWanted());
  game_->windowGone(1002);
  game_->keyRelease("grave", 1040);
  EXPECT_EQ(take(), (Lines{"WINDOW gone", "INACTIVE", "DROPPED grave"}));
  EXPECT_FALSE(game_->active());

  game_->advance(1500);
  EXPECT_EQ(slotBytes(2), "Ann");
  game_->advance(2000);
  EXPECT_TRUE(game_->windowWanted());
  game_->windowBack(2001, "0x2");
  game_->keyPress("grave", 2100);
  game_->keyRelease("grave", 2130);
  EXPECT_EQ(take(), (Lines{"JOIN 2 Ann", "WINDOW back 0x2", "DROPPED grave"}));

  game_->activate(2200);
  game_->advance(3000);  // back while already there changes nothing
  EXPECT_TRUE(game_->windowWanted());
  EXPECT_EQ(take(), (Lines{"ACTIVE"}));
}

// The Windows build reads the keyboard through DirectInput: what its poll saw counts at once, whatever the
// time since the activation, and presses it never saw are reported with its reason.
TEST_F(GameTest, KeysPolledByTheSystemCountAtOnceAndUnseenOnesAreReported) {
  load();
  take();
  game_->activate(999);  // already active: nothing
  game_->keyPolled("grave", 1001);
  writeText(console_, "punt 3");
  game_->keyPolled("Return", 1002);
  EXPECT_EQ(take(),
            (Lines{"KEY grave", "CONSOLE open", "KEY Return", "COMMAND punt 3", "PUNT 3 (empty slot)"}));

  game_->keyMissed("Return", "never seen by DirectInput: pressed 3 ms after activation, held 30 ms", 1100);
  game_->keyDropped("grave", 1200);
  EXPECT_EQ(take(),
            (Lines{"MISSED Return never seen by DirectInput: pressed 3 ms after activation, held 30 ms",
                   "DROPPED grave"}));
  EXPECT_EQ(game_->nextDueMs(), std::nullopt);  // nothing waits for a poll of the rules' own
}

TEST(TranscriptTest, LinesCarrySecondsSinceTheStartWithMilliseconds) {
  EXPECT_EQ(formatLine(12345, "KEY", "grave"), "[   12.345] KEY grave\n");
  EXPECT_EQ(formatLine(0, "ACTIVE", ""), "[    0.000] ACTIVE\n");
  EXPECT_EQ(formatLine(123456789, "EXIT", "SIGTERM"), "[123456.789] EXIT SIGTERM\n");
}

}  // namespace
}  // namespace gamesim
