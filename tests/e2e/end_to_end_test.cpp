// One vote, end to end: players type in the game simulator's chat, zarn-vote (its window, or the service
// mode) reads the chat from the simulator's memory, punts the player voted out, announces it and changes
// the map through the simulator's console. The checks read the simulator's transcript. Real time: the
// service runs at short intervals, and a run takes some twenty seconds.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

using namespace std::chrono_literals;

// Seconds to wait for one step of the scenario: a map change alone takes some eight seconds of console
// pauses, and the machine may be busy.
constexpr int kPatience = 40;

class EndToEndTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    display_ = displayFromFile(ZARN_GAME_SIM_XVFB_DISPLAY_FILE);
    ASSERT_FALSE(display_.empty()) << "the Xvfb fixture did not run";
    ::setenv("DISPLAY", display_.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  // The window, or the service mode.
  std::vector<std::string> mode() const {
    return GetParam() ? std::vector<std::string>{} : std::vector<std::string>{"--headless"};
  }
  std::string display_;
};

TEST_P(EndToEndTest, SixVotesPuntAPlayerAndSixMapVotesChangeTheMap) {
  GameSimProcess game(ZARN_GAME_SIM_PATH, kVoteScenario);
  ASSERT_FALSE(game.waitForStart("START").empty());
  Service service(ZARN_VOTE_PATH, mode(), settingsFor(game.title()));

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
  Service service(ZARN_VOTE_PATH, mode(), settingsFor(title));
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

INSTANTIATE_TEST_SUITE_P(WindowAndServiceMode, EndToEndTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Window" : "Headless";
                         });

}  // namespace
