// zarn-vote --headless when the X server of the game goes away: it keeps running without spinning a core
// or piling up descriptors, finds the game again when a server and the game come back on the same
// display, and still ends with status 0 on SIGTERM. The test runs an Xvfb of its own, which it kills.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/game_sim_process.h"
#include "support/service_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// An Xvfb on display `number`, which writes the number to its output once it accepts connections.
std::unique_ptr<ChildProcess> startServer(int number) {
  // The server that was killed left its lock and socket behind; this test knows they are stale.
  std::error_code ignored;
  fs::remove("/tmp/.X" + std::to_string(number) + "-lock", ignored);
  fs::remove("/tmp/.X11-unix/X" + std::to_string(number), ignored);
  auto server = std::make_unique<ChildProcess>(
      std::vector<std::string>{ZARN_XVFB_PATH, ":" + std::to_string(number), "-displayfd", "1", "-screen",
                               "0", "800x600x24", "-nolisten", "tcp"});
  EXPECT_TRUE(pollUntil([&] { return server->standardOutput() == std::to_string(number) + "\n"; }, 10))
      << "Xvfb did not start on :" << number << ": " << server->output();
  return server;
}

// Clock ticks of user and system time the process has used.
long long cpuTicks(pid_t pid) {
  const std::string stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
  // The fields after the parenthesised name, from the state (the third) on: user time is the 14th.
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string skipped;
  for (int field = 3; field < 14; ++field)
    fields >> skipped;
  long long user = 0;
  long long system = 0;
  fields >> user >> system;
  return user + system;
}

long descriptors(pid_t pid) {
  const fs::directory_iterator entries("/proc/" + std::to_string(pid) + "/fd");
  return std::distance(fs::begin(entries), fs::end(entries));
}

TEST(XServerGoneAndBack, TheServiceLivesOnWithoutItAndFindsTheGameOnTheNextServer) {
  // A display number of its own, so that nothing else on the machine takes it while the server is away.
  const int number = 200 + ::getpid() % 500;
  ::setenv("DISPLAY", (":" + std::to_string(number)).c_str(), 1);
  auto server = startServer(number);
  auto game = std::make_unique<GameSimProcess>(ZARN_GAME_SIM_PATH);
  ASSERT_FALSE(game->waitForStart("START").empty());
  const std::string title = game->title();
  TempFolder folder;
  folder.write("settings.ini", "[Game]\r\nName=" + title +
                                   "\r\n[General]\r\nFirst Run=False\r\nInterval=200\r\nInterval 2=1000\r\n"
                                   "[Memory]\r\nPlayer Start=&H1100000\r\n");
  ServiceProcess service(ZARN_VOTE_PATH, folder.path(), {"--headless"});
  ASSERT_TRUE(service.waitForOutput("game found", 10)) << "the game was not found" << service.output();
  const long before = descriptors(service.pid());

  server->kill();
  game.reset();
  // Five processing ticks, each of which fails to reach the game and says so in the error log, with the
  // collection ticks between them.
  const std::string failedTick =
      "cannot open the X display :" + std::to_string(number) + " - Vote Processing";
  const long long ticks = cpuTicks(service.pid());
  EXPECT_TRUE(pollUntil([&] { return occurrences(service.errorLog(), failedTick) >= 5; }, 30))
      << service.errorLog();
  ASSERT_TRUE(service.running()) << "zarn-vote ended when the X server went away: "
                                 << describeStatus(service.waitForEnd(0ms).value_or(-1)) << service.output();
  EXPECT_LE(cpuTicks(service.pid()) - ticks, 100) << "clock ticks used in five ticks without a server";

  server = startServer(number);
  GameSimProcess second(ZARN_GAME_SIM_PATH, "", {}, title);
  EXPECT_TRUE(service.waitForOutput("game found", 10, 2))
      << "the game was not found again on the new server" << service.output();
  EXPECT_LE(descriptors(service.pid()), before);
  const int status = service.stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << describeStatus(status) << service.output();
}

}  // namespace
