// The [Fair Votes] rules that act over time, end to end against the game simulator under Xvfb, in the
// window and in the service mode: Act At Once, Vote Lifetime, Join Delay, Rejoin Punt Minutes across a
// restart, and Votes Follow Player beside them. Checked on the simulator's transcript, its time stamps and
// votes.log. Real time: each mode takes about a minute, most of it console pauses and the vote lifetime.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <iostream>
#include <optional>
#include <string>

#include "e2e/e2e_support.h"

namespace {

// Seconds to wait for one step: a punt and its announcement take some five seconds of console pauses, a
// punt on return and its message as many, and the machine may be busy.
constexpr int kPatience = 60;

// Max Player Votes 2: the third vote punts. Each line stands for 0.3 s, three collection intervals.
// First service run, whose regular processing tick would come only after half a minute (the longest
// Interval 2), when the run is over:
// - Gus leaves and three vote against his empty slot: the tick run at once reads the roster for the first
//   time. Votes Follow Player drops whatever was counted before that read, as nobody knows whose slot it
//   was against; the votes that follow are against names the service knows.
// - Two votes against Eve, which expire after 10 s.
// - Three votes against Bob: punted at once. He comes back in slot 6.
// - Dee, Ann and Cy vote against Eve after her first two votes expired: Ann and Cy may vote again, and only
//   Cy's makes three. The tick run at once punts the returning Bob first, then Eve.
// Second service run, on the same folder, with a processing tick every second:
// - Hal joins and votes against Fay 2.5 s later: too new to count. Ann and Cy vote too; Hal's vote once the
//   join delay is over is the third.
// - Bob comes back in slot 7 and is punted: the first run remembered him in voted-out.state.
const std::string kScenario =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n0 join 7 Gus\n"
    "2.0 leave 7\n3.0 say 0 /vote 7\n3.3 say 1 /vote 7\n3.6 say 2 /vote 7\n"
    "5.0 say 0 /vote 4\n5.3 say 1 /vote 4\n"
    "6.0 say 0 /vote 3\n6.3 say 1 /vote 3\n6.6 say 2 /vote 3\n6.9 say 0 hi\n"
    "10.0 join 6 Bob\n"
    "17.5 say 2 /vote 4\n17.8 say 0 /vote 4\n18.1 say 1 /vote 4\n18.4 say 0 bye Eve\n"
    "40.0 join 3 Hal\n"
    "42.5 say 3 /vote 5\n42.8 say 0 /vote 5\n43.1 say 1 /vote 5\n47.5 say 3 /vote 5\n47.8 say 0 ok\n"
    "50.0 join 7 Bob\n";

// The second run must have read the roster before Hal joins at 40 s, or Hal counts as there from the start.
constexpr double kSecondRunBy = 38.0;

// At a tick a second the summary and the automatic reset (every 90 ticks) would fall inside the run.
std::string settings(const std::string& title, const std::string& processing) {
  return settingsFor(title, "",
                     "Display Summary=32000\r\nReset Votes=32000\r\n[Votes]\r\nMax Player Votes=2\r\n"
                     "[Fair Votes]\r\nOne Vote Per Player=True\r\nVotes Follow Player=True\r\n"
                     "Vote Lifetime=10\r\nJoin Delay=4\r\nRejoin Punt Minutes=5\r\n"
                     "Rejoin Message=%name% was voted out; back in %minutes% min\r\nAct At Once=True\r\n"
                     "Audit Log=True\r\n",
                     processing);
}

using FairVotesOverTimeTest = WindowAndServiceModeTest;

TEST_P(FairVotesOverTimeTest, ActAtOnceLifetimeJoinDelayAndRejoinPuntAcrossARestart) {
  GameSimProcess game(ZARN_GAME_SIM_PATH, kScenario);
  ASSERT_FALSE(game.waitForStart("START").empty());
  {
    ServiceProcess service(ZARN_VOTE_PATH, programFolder(settings(game.title(), "30000")), mode());
    ASSERT_TRUE(game.waitFor("PUNT 3 Bob", kPatience)) << service.output();
    ASSERT_TRUE(game.waitFor("TALK Player:_Eve(4)_voted out!", kPatience)) << service.output();
    EXPECT_EQ(0, WEXITSTATUS(service.stop()));
  }
  const std::string state = folder_.read("voted-out.state");
  EXPECT_NE(std::string::npos, state.find("Bob")) << state;
  EXPECT_NE(std::string::npos, state.find("Eve")) << state;

  // Only a tick run at once explains a punt within seconds of the vote: the regular one was 30 s away.
  const std::optional<double> thirdVote = game.secondsAt("CHAT Dee: /vote 3");
  const std::optional<double> punted = game.secondsAt("PUNT 3 Bob");
  ASSERT_TRUE(thirdVote && punted);
  EXPECT_LT(*punted - *thirdVote, 10.0) << game.transcript();
  std::cout << "third vote to punt: " << *punted - *thirdVote << " s\n";

  const std::optional<double> restarted = game.secondsAt("TALK Player:_Eve(4)_voted out!");
  ASSERT_TRUE(restarted && *restarted < kSecondRunBy - 3) << "the first run ended too late for the scenario";
  {
    ServiceProcess service(ZARN_VOTE_PATH, programFolder(settings(game.title(), "1000")), mode());
    ASSERT_TRUE(game.waitFor("PUNT 5 Fay", kPatience)) << service.output();
    ASSERT_TRUE(game.waitFor("PUNT 7 Bob", kPatience)) << service.output();
    ASSERT_TRUE(game.waitFor("TALK Bob was voted out; back in 5 min", kPatience, 2));
    EXPECT_EQ(0, WEXITSTATUS(service.stop()));
    // The first start found no state file yet, and says so; nothing else went wrong in either run.
    const std::string errors = service.errorLog();
    EXPECT_EQ(1, occurrences(errors, "\r\n")) << errors;
    EXPECT_NE(std::string::npos, errors.find("no voted-out.state yet")) << errors;
  }

  // Bob three times (by votes, then on each return), Eve and Fay once, nobody else.
  EXPECT_EQ(5, game.countStarting("PUNT ")) << game.transcript();
  EXPECT_EQ(1, game.count("PUNT 6 Bob"));
  EXPECT_EQ(1, game.count("PUNT 4 Eve"));
  expectNoGameFaults(game);

  const std::string audit = folder_.read("votes.log");
  for (const std::string line : {
           // Gus's empty slot punted nobody.
           " - Punt by votes - player 3 \"Bob\" - count 3, limit 2 - voters \"Ann\", \"Cy\", \"Dee\"\r\n",
           " - Punt on return - player 6 \"Bob\" - ",
           // Ann's and Cy's first votes had expired: they count again after Dee's.
           " - Punt by votes - player 4 \"Eve\" - count 3, limit 2 - voters \"Dee\", \"Ann\", \"Cy\"\r\n",
           // Hal's first vote came too soon after his join; his second is the third.
           " - Punt by votes - player 5 \"Fay\" - count 3, limit 2 - voters \"Ann\", \"Cy\", \"Hal\"\r\n",
           " - Punt on return - player 7 \"Bob\" - ",
       })
    EXPECT_NE(std::string::npos, audit.find(line)) << line << "\n" << audit << game.transcript();
}

INSTANTIATE_TEST_SUITE_P(WindowAndServiceMode, FairVotesOverTimeTest, ::testing::Values(true, false),
                         windowOrHeadless);

}  // namespace
