// The product against the game as operators run it: the simulator built as a Windows program and run
// under Wine (wine64, a fresh prefix, Xvfb without a window manager), read through DirectInput. zarn-vote
// (its window, or the service mode, and zarn-vote.exe's service mode under Wine against the simulator as a
// 32-bit program) must find the window by the title and pid Wine gives it, reach the
// data inside the program's image, and press keys that DirectInput sees, also after another Wine window
// took the focus, and find the game again after it was killed and started anew. Real time, like the
// native end-to-end tests; Wine's first start in a fresh prefix alone takes several seconds.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPatience = 60;
constexpr int kStartPatience = 90;  // the first program in a fresh prefix starts the wineserver

// Bob is voted out early; the map votes come late, so console commands follow whatever happens after the
// punt.
const std::string kLateMapScenario =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n0 join 6 Gus\n"
    "1.0 say 0 /vote 3\n1.3 say 1 /vote 3\n1.6 say 2 /vote 3\n1.9 say 4 /vote 3\n2.2 say 5 /vote 3\n"
    "2.5 say 6 /vote 3\n"
    "14.0 say 0 /vote map\n14.3 say 1 /vote map\n14.6 say 2 /vote map\n14.9 say 4 /vote map\n"
    "15.2 say 5 /vote map\n15.5 say 6 /vote map\n";

// Index of the first line equal to `line` after index `from`, or nothing.
std::optional<std::size_t> lineAfter(const std::vector<std::string>& lines, const std::string& line,
                                     std::size_t from) {
  for (std::size_t i = from + 1; i < lines.size(); ++i) {
    if (lines[i] == line)
      return i;
  }
  return std::nullopt;
}

// The display of the Xvfb fixture and the prefix of the Wine fixture, for this process and its children.
template <typename OnXvfb>
class UnderWine : public OnXvfb {
 protected:
  void SetUp() override {
    OnXvfb::SetUp();
    ::setenv("WINEPREFIX", ZARN_WINE_PREFIX, 1);
    ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    ::setenv("WINEDEBUG", "-all", 1);
  }
};

std::unique_ptr<GameSimProcess> startGame(const std::string& scenario,
                                          std::optional<std::string> title = std::nullopt,
                                          std::vector<std::string> extra = {},
                                          const std::string& simulator = ZARN_GAME_SIM_EXE) {
  extra.insert(extra.begin(), {"--exit-after", "240"});
  auto game = std::make_unique<GameSimProcess>(simulator, scenario, extra, title,
                                               std::vector<std::string>{ZARN_WINE64});
  return game;
}

// The lines of /proc/PID/maps that map the file `name`.
std::vector<std::string> imageMappings(pid_t pid, const std::string& name) {
  std::vector<std::string> found;
  std::istringstream maps(readWholeFile("/proc/" + std::to_string(pid) + "/maps"));
  for (std::string line; std::getline(maps, line);) {
    if (line.size() > name.size() && line.compare(line.size() - name.size(), name.size(), name) == 0)
      found.push_back(line);
  }
  return found;
}

using WineTest = UnderWine<OnXvfbTest>;

// As in a real game, the chat, console and player table lie inside the program's image (Wine keeps a heap
// at 0x010A0000 where an allocation would have to go), and another process reaches them there.
TEST_F(WineTest, DataLiesInsideTheProgramsImageAtTheGamesAddresses) {
  const auto game = startGame("0 join 3 Bob\n0.1 say 3 hello\n");
  ASSERT_TRUE(game->waitFor("CHAT Bob: hello", kStartPatience));
  EXPECT_EQ("Bob: hello", game->read(0x10FE6C0, 91));
  EXPECT_EQ("Bob", game->read(0x1100000 + 16 * 4, 16));
  game->write(0x11038DC, "punt 3");
  EXPECT_EQ("punt 3", game->read(0x11038DC, 256));

  const std::vector<std::string> image = imageMappings(game->pid(), "zarn-game-sim.exe");
  ASSERT_FALSE(image.empty()) << readWholeFile("/proc/" + std::to_string(game->pid()) + "/maps");
  EXPECT_EQ(0u, image.front().rfind("00400000-", 0)) << "the image did not load at its base";
  const std::uint64_t lastSection = std::stoull(image.back().substr(0, image.back().find('-')), nullptr, 16);
  EXPECT_GT(lastSection, 0x11038DCu + 256) << "the data does not lie between the image's sections";
}

TEST_F(WineTest, AnAddressOutsideTheImageIsRefusedWithTheRangeNamed) {
  const auto game = startGame("", std::nullopt, {"--chat", "0x20000000"});
  const int status = game->wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_NE(std::string::npos,
            game->errors().find(
                "cannot place the chat line at &H20000000: it lies outside the program's data area"))
      << game->errors();
}

// What drives the game: the Linux program in its window or its service mode, or zarn-vote.exe in its
// window or its service mode under Wine beside the game, as on a Windows host.
enum class Driver { kWindow, kHeadless, kWindowsWindow, kWindowsHeadless };

std::string driverName(const ::testing::TestParamInfo<Driver>& driver) {
  static const char* const kNames[] = {"Window", "Headless", "WindowsWindow", "WindowsHeadless"};
  return kNames[static_cast<int>(driver.param)];
}

class WineEndToEndTest : public UnderWine<OnXvfbTest>, public ::testing::WithParamInterface<Driver> {
 protected:
  std::unique_ptr<ServiceProcess> startService(const std::string& title) const {
    const std::filesystem::path folder = programFolder(settingsFor(title));
    switch (GetParam()) {
      case Driver::kWindow:
        return std::make_unique<ServiceProcess>(ZARN_VOTE_PATH, folder, std::vector<std::string>{});
      case Driver::kHeadless:
        return std::make_unique<ServiceProcess>(ZARN_VOTE_PATH, folder, std::vector<std::string>{"--headless"});
      case Driver::kWindowsWindow:
      case Driver::kWindowsHeadless: {
        // Wine names the files of this host on drive Z:.
        std::vector<std::string> command{ZARN_WINE64, ZARN_VOTE_EXE, "--dir", "Z:" + folder.string()};
        if (GetParam() == Driver::kWindowsHeadless)
          command.emplace_back("--headless");
        return std::make_unique<ServiceProcess>(command, folder);
      }
    }
    return nullptr;
  }
  bool windowsProgram() const {
    return GetParam() == Driver::kWindowsWindow || GetParam() == Driver::kWindowsHeadless;
  }
  // zarn-vote.exe meets the game as on a Windows host: a 32-bit program beside the 64-bit one.
  std::unique_ptr<GameSimProcess> launchGame(const std::string& scenario,
                                             std::optional<std::string> title = std::nullopt) const {
    return startGame(scenario, title, {}, windowsProgram() ? ZARN_GAME_SIM_EXE32 : ZARN_GAME_SIM_EXE);
  }
  // Wine hands SIGINT to a console program as Ctrl+C; SIGTERM would end it without its handler. A window
  // has neither, and ends as the Linux window does on SIGTERM: at once.
  int stopService(ServiceProcess& service) const {
    switch (GetParam()) {
      case Driver::kWindowsHeadless:
        return service.stop(SIGINT);
      case Driver::kWindowsWindow:
        service.kill();
        return service.stop();
      default:
        return service.stop();
    }
  }
};

TEST_P(WineEndToEndTest, SixVotesPuntAPlayerAndSixMapVotesChangeTheMap) {
  const auto game = launchGame(kVoteScenario);
  ASSERT_FALSE(game->waitForStart("START", kStartPatience).empty());
  // Wine's window carries the title byte for byte, and the data lies at the game's addresses.
  const std::string start = game->waitForStart("START");
  EXPECT_NE(std::string::npos,
            start.find("chat &H10FE6C0 console &H11038DC players &H1100000 title \"" + game->title() + "\""))
      << start;
  const auto service = startService(game->title());

  ASSERT_TRUE(game->waitFor("PUNT 3 Bob", kPatience)) << service->output();
  ASSERT_TRUE(game->waitFor("TALK Player:_Bob(3)_voted out!", kPatience)) << service->output();
  ASSERT_TRUE(game->waitFor("MAP 2", kPatience)) << service->output();
  std::this_thread::sleep_for(3s);  // a further processing tick sends nothing more
  EXPECT_EQ(0, WEXITSTATUS(stopService(*service)));
  expectScenarioOutcome(*game);
  EXPECT_EQ("", service->errorLog());
}

TEST_P(WineEndToEndTest, ConsoleCommandsArriveAfterAnotherWineWindowTookTheFocus) {
  const auto game = launchGame(kLateMapScenario);
  ASSERT_FALSE(game->waitForStart("START", kStartPatience).empty());
  const auto service = startService(game->title());
  ASSERT_TRUE(game->waitFor("PUNT 3 Bob", kPatience)) << service->output();

  // A newly shown Wine window becomes Wine's active one: the game goes inactive.
  const ChildProcess notepad({ZARN_WINE64, "notepad"});
  const auto punt = [&game] {
    const auto lines = game->lines();
    return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), "PUNT 3 Bob") - lines.begin());
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kPatience);
  while (!lineAfter(game->lines(), "INACTIVE", punt()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);

  ASSERT_TRUE(game->waitFor("MAP 2", kPatience)) << service->output();
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(0, WEXITSTATUS(stopService(*service)));
  expectScenarioOutcome(*game);
  const auto lines = game->lines();
  const auto inactive = lineAfter(lines, "INACTIVE", punt());
  ASSERT_TRUE(inactive) << "notepad never took the focus from the game";
  const auto command = lineAfter(lines, "COMMAND resetgames", *inactive);
  EXPECT_TRUE(command) << "no console command after the focus was taken";
  EXPECT_TRUE(lineAfter(lines, "ACTIVE", *inactive)) << "the game was not activated again";
  EXPECT_EQ("", service->errorLog());
}

TEST_P(WineEndToEndTest, AGameKilledAndStartedAgainIsFoundWithoutARestart) {
  const std::string title = "Delta Force Land Warrior,  V1.00.42 restart " + std::to_string(::getpid());
  auto first = launchGame("0 join 3 Bob\n", title);
  ASSERT_FALSE(first->waitForStart("START", kStartPatience).empty());
  const auto service = startService(title);
  std::this_thread::sleep_for(3s);  // attached, and a processing tick went by
  first->kill();
  std::this_thread::sleep_for(2s);  // the ticks fail meanwhile and are logged

  const auto game = launchGame(kVoteScenario, title);
  ASSERT_FALSE(game->waitForStart("START", kStartPatience).empty());
  ASSERT_TRUE(game->waitFor("PUNT 3 Bob", kPatience)) << service->output();
  ASSERT_TRUE(game->waitFor("MAP 2", kPatience)) << service->output();
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(0, WEXITSTATUS(stopService(*service)));
  expectScenarioOutcome(*game);
  EXPECT_NE("", service->errorLog()) << "the ticks while the game was away are logged";
}

INSTANTIATE_TEST_SUITE_P(Drivers, WineEndToEndTest,
                         ::testing::Values(Driver::kWindow, Driver::kHeadless, Driver::kWindowsWindow,
                                           Driver::kWindowsHeadless),
                         driverName);

}  // namespace
