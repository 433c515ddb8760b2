// Two copies of zarn-vote on one host, end to end: real `zarn-vote --headless` processes and the game
// simulator under Xvfb. A second copy on the same program folder ends at once, and a copy on another
// folder leaves the game to the copy that drives it until that one is gone; `kill -9` leaves no lock behind.
// The copies meet whatever $XDG_RUNTIME_DIR each has, as a service and the operator's desktop session do.
// Real time: a same-folder test takes a few seconds, a two-folder one some twenty.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

using namespace std::chrono_literals;

// Seconds to wait for one step: a punt with its announcement takes some five seconds of console pauses, a
// map change some eight, and the machine may be busy.
constexpr int kPatience = 40;
constexpr std::uint64_t kChatLine = 0x10FE6C0;  // the simulator's default, which settingsFor assumes
const std::string kFound = "zarn-vote: game found: ";
const std::string kNotFound = "zarn-vote: game not found: ";

std::string uniqueTitle(const std::string& kind) {
  static int counter = 0;
  return "Delta Force Land Warrior,  V1.00.42 copies " + kind + " " + std::to_string(::getpid()) + "-" +
         std::to_string(++counter);
}

// A copy of zarn-vote without its window on `folder`.
std::unique_ptr<ServiceProcess> startCopy(const std::filesystem::path& folder, ChildSetup setup = {}) {
  return std::make_unique<ServiceProcess>(ZARN_VOTE_PATH, folder, std::vector<std::string>{"--headless"},
                                          setup);
}

// $XDG_RUNTIME_DIR set to `folder`, as a desktop session sets it, and unset, as for a system service.
ChildSetup withRuntimeFolder(const TempFolder& folder, const std::optional<UserIds>& user) {
  if (user) {
    EXPECT_EQ(0, ::chown(folder.path().c_str(), user->uid, user->gid)) << std::strerror(errno);
  }
  ::chmod(folder.path().c_str(), 0700);
  return {user, std::nullopt, {{"XDG_RUNTIME_DIR", folder.path().string()}}};
}
ChildSetup withoutRuntimeFolder(const std::optional<UserIds>& user) {
  return {user, std::nullopt, {{"XDG_RUNTIME_DIR", std::nullopt}}};
}

std::string outputOf(const char* which, const ChildProcess& copy) {
  return std::string("\n") + which + " copy's output:\n" + copy.output();
}

using CopiesTest = OnXvfbTest;

// Writable, the folder takes the lock file; read-only (to a user other than root), only the lock name of
// the folder keeps copies apart, and they behave alike. The first copy has a $XDG_RUNTIME_DIR, the others
// none.
class SameFolderTest : public CopiesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SameFolderTest, ASecondCopyEndsAtOnceNamingTheFirstAndAKilledFirstLeavesNoLock) {
  const bool readOnly = GetParam();
  const std::optional<UserIds> user = readOnly ? unprivilegedUser() : std::nullopt;
  const std::filesystem::path folder = programFolder(settingsFor(uniqueTitle("same folder")));
  if (readOnly)
    ::chmod(folder.c_str(), 0555);
  TempFolder runtime;
  // No game has the title: a copy that says so has its lock and runs the service.
  auto first = startCopy(folder, withRuntimeFolder(runtime, user));
  ASSERT_TRUE(first->waitForOutput(kNotFound, kPatience)) << outputOf("first", *first);

  const auto started = std::chrono::steady_clock::now();
  auto second = startCopy(folder, withoutRuntimeFolder(user));
  const std::optional<int> status = second->waitForEnd(std::chrono::seconds(kPatience));
  ASSERT_TRUE(status.has_value()) << outputOf("second", *second);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 15s) << "the second copy waited instead of ending";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 3) << describeStatus(*status);
  // Its output comes through a pipe, which may still be read after the end.
  const std::string why = "zarn-vote: another zarn-vote (process " + std::to_string(first->pid()) +
                          ") already runs on " + folder.string() + "; this copy ends\n";
  EXPECT_TRUE(second->waitForOutput(why, kPatience));
  EXPECT_EQ(why, second->output()) << "and nothing else";
  EXPECT_TRUE(first->running()) << outputOf("first", *first);

  first->kill();
  auto third = startCopy(folder, withoutRuntimeFolder(user));
  ASSERT_TRUE(third->waitForOutput(kNotFound, kPatience)) << outputOf("third", *third);
  EXPECT_EQ(std::string::npos, third->output().find("lock")) << outputOf("third", *third);
  const int stopped = third->stop();
  EXPECT_TRUE(WIFEXITED(stopped) && WEXITSTATUS(stopped) == 0) << describeStatus(stopped);
  EXPECT_EQ(!readOnly, std::filesystem::exists(folder / ".zarn-vote.lock"));
  EXPECT_TRUE(std::filesystem::is_empty(runtime.path())) << "no lock left behind";
}

INSTANTIATE_TEST_SUITE_P(WritableAndReadOnly, SameFolderTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "ReadOnly" : "Writable";
                         });

// Both copies wait before the game runs, so either may come first: the one that attaches drives the game,
// the other says once why it does not, and both would punt Bob if both drove it. With the driver killed,
// the other attaches and carries out a map vote (one vote is enough with these settings). Either both
// copies have the test's environment, or one has a $XDG_RUNTIME_DIR and the other none.
class TwoFoldersTest : public CopiesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TwoFoldersTest, ACopyOnAnotherFolderLeavesTheGameToTheDriverUntilItIsKilled) {
  const bool runtimeForOneOnly = GetParam();
  const std::string title = uniqueTitle("two folders");
  const std::string settings = settingsFor(title) + "[Votes]\r\nMax Map Votes=0\r\n";
  TempFolder two;
  TempFolder runtime;
  two.write("settings.ini", settings);
  auto a = startCopy(programFolder(settings),
                     runtimeForOneOnly ? withRuntimeFolder(runtime, std::nullopt) : ChildSetup{});
  auto b = startCopy(two.path(), runtimeForOneOnly ? withoutRuntimeFolder(std::nullopt) : ChildSetup{});
  ASSERT_TRUE(a->waitForOutput(kNotFound, kPatience)) << outputOf("a", *a);
  ASSERT_TRUE(b->waitForOutput(kNotFound, kPatience)) << outputOf("b", *b);

  GameSimProcess game(ZARN_GAME_SIM_PATH,
                      "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n"
                      "0 join 6 Gus\n1.0 say 0 /vote 3\n1.3 say 1 /vote 3\n1.6 say 2 /vote 3\n"
                      "1.9 say 4 /vote 3\n2.2 say 5 /vote 3\n2.5 say 6 /vote 3\n2.8 say 0 gg\n",
                      {}, title);
  ASSERT_FALSE(game.waitForStart("START").empty());
  ASSERT_TRUE(pollUntil([&] { return a->outputCount(kFound) > 0 || b->outputCount(kFound) > 0; }, kPatience))
      << outputOf("a", *a) << outputOf("b", *b);
  ChildProcess* driver = a->outputCount(kFound) > 0 ? a.get() : b.get();
  ChildProcess* other = driver == a.get() ? b.get() : a.get();
  const std::string why = "zarn-vote: game not usable: the game's process " + std::to_string(game.pid()) +
                          " is already driven by another zarn-vote (process " +
                          std::to_string(driver->pid()) +
                          "); this copy attaches once that one has let go of it\n";
  ASSERT_TRUE(other->waitForOutput(why, kPatience)) << outputOf("other", *other);

  ASSERT_TRUE(game.waitFor("TALK Player:_Bob(3)_voted out!", kPatience)) << outputOf("driving", *driver);
  EXPECT_EQ(1, other->outputCount(why)) << "said once, though tried on every tick";
  EXPECT_EQ(0, other->outputCount(kFound)) << outputOf("other", *other);

  driver->kill();
  ASSERT_TRUE(other->waitForOutput(kFound, kPatience)) << outputOf("other", *other);
  game.write(kChatLine, "Cy: /vote map");
  ASSERT_TRUE(game.waitFor("MAP 2", kPatience)) << outputOf("other", *other);
  expectScenarioOutcome(game);
  const int stopped = other->stop();
  EXPECT_TRUE(WIFEXITED(stopped) && WEXITSTATUS(stopped) == 0) << describeStatus(stopped);
  EXPECT_TRUE(std::filesystem::is_empty(runtime.path())) << "no lock left behind";
}

INSTANTIATE_TEST_SUITE_P(SameAndOtherRuntimeFolders, TwoFoldersTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "RuntimeFolderForOneOnly" : "SameEnvironment";
                         });

}  // namespace
