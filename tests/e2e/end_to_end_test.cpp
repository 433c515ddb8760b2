// One vote, end to end: players type in the game simulator's chat, zarn-vote (its window, or the service
// mode) reads the chat from the simulator's memory, punts the player voted out, announces it and changes
// the map through the simulator's console; announcements longer than the game's console line reach it cut
// to the line, and nothing is written past it. The checks read the simulator's transcript and zarn-vote's
// error log. Real time: the service runs at short intervals, and a run takes some ten to twenty seconds.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/error_log_entries.h"

namespace {

using namespace std::chrono_literals;

// Seconds to wait for one step of the scenario: a map change alone takes some eight seconds of console
// pauses, and the machine may be busy.
constexpr int kPatience = 40;

using EndToEndTest = WindowAndServiceModeTest;

TEST_P(EndToEndTest, SixVotesPuntAPlayerAndSixMapVotesChangeTheMap) {
  GameSimProcess game(ZARN_GAME_SIM_PATH, kVoteScenario);
  ASSERT_FALSE(game.waitForStart("START").empty());
  ServiceProcess service(ZARN_VOTE_PATH, programFolder(settingsFor(game.title())), mode());

  ASSERT_TRUE(game.waitFor("PUNT 3 Bob", kPatience)) << service.output();
  ASSERT_TRUE(game.waitFor("TALK Player:_Bob(3)_voted out!", kPatience)) << service.output();
  ASSERT_TRUE(game.waitFor("MAP 2", kPatience)) << service.output();
  std::this_thread::sleep_for(3s);  // a further processing tick sends nothing more
  EXPECT_EQ(0, WEXITSTATUS(service.stop()));
  expectScenarioOutcome(game);
  EXPECT_EQ("", service.errorLog());
}

TEST_P(EndToEndTest, AGameKilledAndStartedAgainIsFoundWithoutARestart) {
  const std::string title = "Delta Force Land Warrior,  V1.00.42 restart " + std::to_string(::getpid());
  auto first = std::make_unique<GameSimProcess>(ZARN_GAME_SIM_PATH, "0 join 3 Bob\n",
                                                std::vector<std::string>{}, title);
  ASSERT_FALSE(first->waitForStart("START").empty());
  ServiceProcess service(ZARN_VOTE_PATH, programFolder(settingsFor(title)), mode());
  std::this_thread::sleep_for(3s);  // attached, and a processing tick went by
  first->kill();
  std::this_thread::sleep_for(2s);  // the ticks fail meanwhile and are logged

  GameSimProcess game(ZARN_GAME_SIM_PATH, kVoteScenario, {}, title);
  ASSERT_TRUE(game.waitFor("PUNT 3 Bob", kPatience)) << service.output();
  ASSERT_TRUE(game.waitFor("MAP 2", kPatience)) << service.output();
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(0, WEXITSTATUS(service.stop()));
  expectScenarioOutcome(game);
  EXPECT_NE("", service.errorLog()) << "the ticks while the game was away are logged";
}

// `piece` again and again, cut to `length` characters.
std::string repeatedTo(std::size_t length, const std::string& piece) {
  std::string text;
  while (text.size() < length)
    text += piece;
  return text.substr(0, length);
}

// Announcements far longer than the game's console line: a simulator whose line holds the 90 bytes that
// the default Console Size counts on, with a guard behind it, and punt messages of the 254 characters a
// setting may hold.
const std::string kLongPuntMessage1 = repeatedTo(254, "Voted_out_by_the_players_");
const std::string kLongPuntMessage2 = repeatedTo(254, "_and_gone_from_the_server");
const std::string kLongPuntMessages =
    "[Messages]\r\nPunt Message 1=" + kLongPuntMessage1 + "\r\nPunt Message 2=" + kLongPuntMessage2 + "\r\n";

// Six players vote Bob (slot 3) out, then the same six vote Eve (slot 4) out.
const char* const kTwoPuntsScenario =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n0 join 6 Gus\n"
    "0 join 7 Hal\n"
    "1.0 say 0 /vote 3\n1.3 say 1 /vote 3\n1.6 say 2 /vote 3\n1.9 say 5 /vote 3\n2.2 say 6 /vote 3\n"
    "2.5 say 7 /vote 3\n"
    "2.8 say 0 /vote 4\n3.1 say 1 /vote 4\n3.4 say 2 /vote 4\n3.7 say 5 /vote 4\n4.0 say 6 /vote 4\n"
    "4.3 say 7 /vote 4\n4.6 say 0 gg\n";

// Without the player's number both announcements are one and the same text of 508 characters: each reaches
// the game cut to the 89 that the default Console Size of 90 leaves, and the cut is logged once.
TEST_P(EndToEndTest, LongAnnouncementsAreCutToTheConsoleLineAndTheMemoryBehindItStaysWhole) {
  GameSimProcess game(ZARN_GAME_SIM_PATH, kTwoPuntsScenario, {"--console-bytes", "90"});
  ASSERT_FALSE(game.waitForStart("START").empty());
  ServiceProcess service(
      ZARN_VOTE_PATH,
      programFolder(settingsFor(game.title(), "", kLongPuntMessages + "Display Player Number=False\r\n")),
      mode());

  const std::string announcement = kLongPuntMessage1 + kLongPuntMessage2;
  ASSERT_TRUE(game.waitFor("PUNT 3 Bob", kPatience)) << service.output();
  ASSERT_TRUE(game.waitFor("PUNT 4 Eve", kPatience)) << service.output();
  // The guard is looked at on each Return before the line runs: a corruption would stand before this.
  ASSERT_TRUE(game.waitFor("TALK " + announcement.substr(0, 89), kPatience, 2)) << service.output();
  EXPECT_EQ(0, WEXITSTATUS(service.stop()));
  EXPECT_EQ(1, game.count("COMMAND punt 3"));
  EXPECT_EQ(1, game.count("COMMAND punt 4"));
  expectNoGameFaults(game);
  const std::vector<std::string> entries = errorLogEntries(service.errorLog());
  ASSERT_EQ(1u, entries.size()) << service.errorLog();
  EXPECT_TRUE(
      entries.front().ends_with(" - Console text of 508 characters cut to the 89 that "
                                "Memory/Console Size 90 leaves room for: " +
                                announcement + " - Vote Processing"))
      << entries.front();
}

// The check above can fail: an operator who sets Console Size larger than the game's line has the
// announcement written past it, and the game sees its memory overwritten. The service mode alone: the
// window takes the same way to the console.
TEST_F(OnXvfbTest, AConsoleSizeLargerThanTheGamesLineOverwritesTheMemoryBehindIt) {
  GameSimProcess game(ZARN_GAME_SIM_PATH, kVoteScenario, {"--console-bytes", "90"});
  ASSERT_FALSE(game.waitForStart("START").empty());
  ServiceProcess service(ZARN_VOTE_PATH,
                         programFolder(settingsFor(game.title(), "Console Size=300\r\n", kLongPuntMessages)),
                         {"--headless"});

  ASSERT_TRUE(game.waitFor("PUNT 3 Bob", kPatience)) << service.output();
  EXPECT_EQ(game.waitForStart("MEMORY ", kPatience),
            "MEMORY CORRUPTED: 16 bytes after the console line were overwritten");
  const std::string full = kLongPuntMessage1 + "Bob(3)" + kLongPuntMessage2;
  EXPECT_TRUE(game.waitFor("TALK " + full.substr(0, 90), kPatience)) << "the game reads its line to its end";
}

INSTANTIATE_TEST_SUITE_P(WindowAndServiceMode, EndToEndTest, ::testing::Values(true, false),
                         windowOrHeadless);

}  // namespace
