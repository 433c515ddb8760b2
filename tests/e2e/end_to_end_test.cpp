// One vote, end to end: players type in the game simulator's chat, zarn-vote (its window, or the service
// mode) reads the chat from the simulator's memory, punts the player voted out, announces it and changes
// the map through the simulator's console. The checks read the simulator's transcript. Real time: the
// service runs at short intervals, and a run takes some twenty seconds.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/game_sim_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Seconds to wait for one step of the scenario: a map change alone takes some eight seconds of console
// pauses, and the machine may be busy.
constexpr int kPatience = 40;

// Six players vote Bob (slot 3) out, then six vote for a map change; each line stands for 0.3 s, three
// collection intervals.
const std::string kScenario =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n0 join 6 Gus\n"
    "1.0 say 0 /vote 3\n1.3 say 1 /vote 3\n1.6 say 2 /vote 3\n1.9 say 4 /vote 3\n2.2 say 5 /vote 3\n"
    "2.5 say 6 /vote 3\n2.8 say 0 hello all\n"
    "3.1 say 0 /vote map\n3.4 say 1 /vote map\n3.7 say 2 /vote map\n4.0 say 4 /vote map\n"
    "4.3 say 5 /vote map\n4.6 say 6 /vote map\n4.9 say 0 gg\n";

// The service at short intervals against a simulator with the default chat and console addresses.
std::string settingsFor(const std::string& title) {
  return "[Game]\r\nName=" + title +
         "\r\n[Memory]\r\nPlayer Start=&H1100000\r\n"
         "[General]\r\nFirst Run=False\r\nInterval=100\r\nInterval 2=2000\r\n";
}

// zarn-vote in a run folder of its own, its output kept in files.
class Service {
 public:
  Service(const std::vector<std::string>& arguments, const std::string& settings) {
    folder_ = fs::temp_directory_path() /
              ("zarn-vote-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++counter_));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    std::ofstream(folder_ / "settings.ini", std::ios::binary) << settings;
    std::vector<std::string> all{ZARN_VOTE_PATH, "--dir", folder_.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string output = (folder_ / "output.txt").string();
    pid_ = ::fork();
    if (pid_ == 0) {
      if (std::freopen(output.c_str(), "w", stderr) == nullptr ||
          std::freopen(output.c_str(), "a", stdout) == nullptr)
        ::_exit(126);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~Service() {
    stop();
    fs::remove_all(folder_);
  }
  // SIGTERM, then the exit status.
  int stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, &status_, 0);
      pid_ = -1;
    }
    return status_;
  }
  std::string output() const { return readWholeFile(folder_ / "output.txt"); }
  std::string errorLog() const { return readWholeFile(folder_ / "errorlog.log"); }

 private:
  static inline int counter_ = 0;
  fs::path folder_;
  pid_t pid_ = -1;
  int status_ = -1;
};

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

// The whole scenario happened once: one punt of Bob with its announcement, one map notice and one map
// change, and nothing the scenario does not call for.
void expectScenarioOutcome(const GameSimProcess& game) {
  EXPECT_EQ(1, game.count("COMMAND punt 3"));
  EXPECT_EQ(1, game.count("PUNT 3 Bob"));
  EXPECT_EQ(1, game.count("TALK Player:_Bob(3)_voted out!"));
  EXPECT_EQ(1, game.count("TALK Map has been voted ~ map changing..."));
  EXPECT_EQ(1, game.count("COMMAND resetgames"));
  for (const std::string& line : game.lines()) {
    for (const char* fault : {"UNKNOWN", "DROPPED", "MISSED"})
      EXPECT_NE(0u, line.rfind(fault, 0)) << line;
  }
}

TEST_P(EndToEndTest, SixVotesPuntAPlayerAndSixMapVotesChangeTheMap) {
  GameSimProcess game(ZARN_GAME_SIM_PATH, kScenario);
  ASSERT_FALSE(game.waitForStart("START").empty());
  Service service(mode(), settingsFor(game.title()));

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
  Service service(mode(), settingsFor(title));
  std::this_thread::sleep_for(3s);  // attached, and a processing tick went by
  first->kill();
  std::this_thread::sleep_for(2s);  // the ticks fail meanwhile and are logged

  GameSimProcess game(ZARN_GAME_SIM_PATH, kScenario, {}, title);
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
