// Every [Fair Votes] rule at once, end to end: the service mode against the game simulator under Xvfb,
// checked on the simulator's transcript, votes.log and the service's stdout. Real time: the service runs
// at short intervals and a run takes some half a minute.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>

#include "e2e/e2e_support.h"

namespace {

using namespace std::chrono_literals;

// Seconds to wait for one step: a punt and its announcement take some five seconds of console pauses,
// a map change eight, and the machine may be busy.
constexpr int kPatience = 60;

// Eight players. With 30 % of 8 (or of 7, once Bob is gone) a player needs three votes; with 60 % the map
// needs five. Each line stands for 0.3 s, three collection intervals.
// - Fay (slot 5) gets two votes, then leaves and Hal joins at once; one more vote must not punt Hal.
// - Admin (slot 7) is immune: four votes against him count for nothing.
// - Ann votes against Bob four times in four spellings: one vote. Cy's is the second, Eve's the third.
// - Five players vote for the map.
const std::string kScenario =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n0 join 6 Gus\n"
    "0 join 7 Admin\n"
    "1.0 say 0 /vote 5\n1.3 say 1 /vote 5\n1.6 leave 5\n1.6 join 5 Hal\n"
    "1.9 say 0 /vote 7\n2.2 say 1 /vote 7\n2.5 say 2 /vote 7\n2.8 say 4 /vote 7\n"
    "3.1 say 0 /vote 3\n3.4 say 0 /vote 03\n3.7 say 0 /vote 3.0\n4.0 say 0 /vote +3\n4.3 say 1 /vote 3\n"
    "7.0 say 2 /vote 5\n7.3 say 0 hi\n"
    "9.0 say 4 /vote 3\n9.3 say 0 hi again\n"
    "10.0 say 0 /vote map\n10.3 say 1 /vote map\n10.6 say 2 /vote map\n10.9 say 4 /vote map\n"
    "11.2 say 6 /vote map\n11.5 say 0 gg\n";

const std::string kFairVotes =
    "[Fair Votes]\r\nOne Vote Per Player=True\r\nVotes Follow Player=True\r\nImmune Players=Admin\r\n"
    "Player Vote Share=30\r\nMap Vote Share=60\r\nMin Players=3\r\n"
    "Progress Message=Progress %name% %votes%/%needed%\r\nAudit Log=True\r\n";

using FairVotesEndToEnd = OnXvfbTest;

TEST_F(FairVotesEndToEnd, AllRulesTogetherInServiceMode) {
  GameSimProcess game(ZARN_GAME_SIM_PATH, kScenario);
  ASSERT_FALSE(game.waitForStart("START").empty());
  ServiceProcess service(ZARN_VOTE_PATH, programFolder(settingsFor(game.title(), "", kFairVotes)),
                         {"--headless"});
  ASSERT_GT(service.pid(), 0);

  const bool punted = game.waitFor("PUNT 3 Bob", kPatience);
  const bool mapChanged = punted && game.waitFor("MAP 2", kPatience);
  std::this_thread::sleep_for(5s);  // two more processing ticks: nothing further may happen
  const int status = service.stop();
  const std::string audit = folder_.read("votes.log");
  const std::string echoed = service.standardOutput();
  const std::string errorLog = service.errorLog();
  const std::string notices = service.standardError();

  std::string transcript;
  for (const std::string& line : game.lines())
    transcript += line + "\n";
  ASSERT_TRUE(punted) << notices << transcript;
  ASSERT_TRUE(mapChanged) << notices << transcript;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(1, game.count("TALK Player:_Bob(3)_voted out!"));
  EXPECT_EQ(1, game.count("COMMAND resetgames"));
  // Neither the newcomer in Fay's slot nor the immune admin is punted.
  EXPECT_EQ(0, game.count("COMMAND punt 5"));
  EXPECT_EQ(0, game.count("COMMAND punt 7"));
  EXPECT_EQ(1, game.count("COMMAND punt 3"));
  int progress = 0;
  for (const std::string& line : game.lines()) {
    progress += line.rfind("TALK Progress ", 0) == 0 ? 1 : 0;
    EXPECT_NE(0u, line.rfind("TALK Progress Admin", 0)) << "nothing is told about the immune admin";
  }
  EXPECT_GT(progress, 0);
  EXPECT_TRUE(game.has("TALK Progress Bob 2/3") || game.has("TALK Progress Bob 1/3"));

  // Bob's punt names his three voters, Ann once; the map change its five.
  EXPECT_NE(
      std::string::npos,
      audit.find(
          " - Punt by votes - player 3 \"Bob\" - count 3, limit 2.4 - voters \"Ann\", \"Cy\", \"Eve\"\r\n"))
      << audit;
  // The map votes may come in during the pauses of the tick before Bob's punt: the punt and the map change
  // then share one roster scan with Bob still in it, and the limit is 60 % of 8 rather than of 7.
  const std::string mapVoters = " - voters \"Ann\", \"Cy\", \"Dee\", \"Eve\", \"Gus\"\r\n";
  EXPECT_TRUE(audit.find(" - Map change by votes - count 5, limit 4.2" + mapVoters) != std::string::npos ||
              audit.find(" - Map change by votes - count 5, limit 4.8" + mapVoters) != std::string::npos)
      << audit << transcript;

  // In service mode the same lines go to stdout.
  EXPECT_NE(std::string::npos, echoed.find("Punt by votes - player 3 \"Bob\"")) << echoed;
  EXPECT_NE(std::string::npos, echoed.find("Map change by votes - count 5")) << echoed;
  EXPECT_EQ("", errorLog);
}

}  // namespace
