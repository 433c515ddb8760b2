// The Debian package on this machine: installed with dpkg -i, its program, manual page and unit checked from
// the installed files, its service run end to end against the game simulator (also two game servers on two
// X displays, each instance started by the installed unit's own command line), then removed and purged.
// Installing changes the machine, so the program runs only as root, which CI is, or in CI; everything it
// made is gone at its end, the package too. Some forty seconds.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "package/unit_command.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kUnit = "/lib/systemd/system/zarn-vote@.service";
const fs::path kInstanceFolders = "/var/lib/zarn-vote";
const fs::path kEnvironmentFolder = "/etc/zarn-vote";
// Seconds to wait for a punt or a map change: some eight seconds of console pauses, on a busy machine.
constexpr int kPatience = 40;

struct Result {
  int status = -1;
  std::string output;
  bool succeeded() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// `command` found on $PATH, run to its end.
Result run(std::vector<std::string> command) {
  command.insert(command.begin(), "/usr/bin/env");
  ChildProcess process(command);
  const std::optional<int> status = process.waitForEnd(120s);
  return {status.value_or(-1), process.output()};
}

bool installed() {
  return run({"dpkg-query", "-W", "-f=${Status}", "zarn-vote"}).output.find(" installed") !=
         std::string::npos;
}

// The files (not folders) that dpkg lists for the installed package.
std::vector<fs::path> packageFiles() {
  std::vector<fs::path> files;
  std::istringstream lines(run({"dpkg", "-L", "zarn-vote"}).output);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("/") && !fs::is_directory(line))
      files.emplace_back(line);
  }
  return files;
}

// The package installed once for all tests, and purged at the end whatever happened.
class InstalledPackage : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(0u, ::geteuid()) << "dpkg -i needs root";
    ASSERT_TRUE(fs::exists(ZARN_DEB_PATH)) << ZARN_DEB_PATH << " is missing: cmake --workflow --preset deb";
    ASSERT_FALSE(installed()) << "zarn-vote is installed on this machine already; the test would remove it";
    ASSERT_FALSE(fs::exists(kInstanceFolders))
        << kInstanceFolders << " holds instances of an earlier install, which the purge would delete";
    madeEnvironmentFolder_ = fs::create_directory(kEnvironmentFolder);
    const Result install = run({"dpkg", "-i", ZARN_DEB_PATH});
    ASSERT_TRUE(install.succeeded()) << install.output;
    files = packageFiles();
  }

  void TearDown() override {
    if (installed())
      run({"dpkg", "-P", "zarn-vote"});
    std::error_code ignored;
    fs::remove_all(kInstanceFolders, ignored);
    if (madeEnvironmentFolder_)
      fs::remove_all(kEnvironmentFolder, ignored);
  }

  std::vector<fs::path> files;

 private:
  bool madeEnvironmentFolder_ = false;
};

InstalledPackage* package = nullptr;

// An Xvfb of the test's own, on a display it picks itself.
class XServer {
 public:
  XServer()
      : process_({ZARN_XVFB_PATH, "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"}) {
    EXPECT_TRUE(pollUntil([this] { return process_.standardOutput().ends_with("\n"); }, 20))
        << "Xvfb gave no display: " << process_.output();
    display_ = ":" + process_.standardOutput().substr(0, process_.standardOutput().size() - 1);
  }
  const std::string& display() const { return display_; }

 private:
  ChildProcess process_;
  std::string display_;
};

// A game simulator on `display`.
std::unique_ptr<GameSimProcess> startGame(const std::string& display, const std::string& scenario,
                                          const std::string& title) {
  ::setenv("DISPLAY", display.c_str(), 1);
  auto game =
      std::make_unique<GameSimProcess>(ZARN_GAME_SIM_PATH, scenario, std::vector<std::string>{}, title);
  EXPECT_FALSE(game->waitForStart("START").empty());
  return game;
}

// An instance of the installed unit: its environment file written where the unit reads it, its folder (the
// StateDirectory, which systemd names in $STATE_DIRECTORY) holding `settings`, and the unit's ExecStart run
// with that environment: the display is the file's, never the test's.
class Instance {
 public:
  Instance(const std::string& name, const std::string& environmentFile, const std::string& settings) {
    const std::string unit = readWholeFile(kUnit);
    const std::vector<std::string> files = serviceValues(unit, "EnvironmentFile", name);
    const std::vector<std::string> starts = serviceValues(unit, "ExecStart", name);
    EXPECT_EQ(1u, files.size()) << unit;
    EXPECT_EQ(1u, starts.size()) << unit;
    if (files.size() != 1 || starts.size() != 1)
      return;
    environmentPath_ = files[0];
    writeFile(environmentPath_, environmentFile);
    folder_.write("settings.ini", settings);
    Environment environment = readEnvironmentFile(environmentFile);
    environment["STATE_DIRECTORY"] = folder_.path().string();
    ChildSetup setup;
    for (const char* inherited : {"DISPLAY", "XAUTHORITY", "STATE_DIRECTORY"})
      setup.environment.emplace_back(inherited, std::nullopt);
    for (const auto& [variable, value] : environment)
      setup.environment.emplace_back(variable, value);
    process_ = std::make_unique<ServiceProcess>(commandLine(starts[0], environment), folder_.path(), setup);
  }
  ~Instance() {
    process_.reset();
    std::error_code ignored;
    fs::remove(environmentPath_, ignored);
  }

  ServiceProcess& process() { return *process_; }

 private:
  static void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }

  fs::path environmentPath_;
  TempFolder folder_;
  std::unique_ptr<ServiceProcess> process_;
};

std::string instanceName(const std::string& which) {
  return "test-" + std::to_string(::getpid()) + "-" + which;
}

class PackageTest : public ::testing::Test {};

TEST_F(PackageTest, TheInstalledProgramAndManualPageAnswer) {
  const Result version = run({"/usr/bin/zarn-vote", "--version"});
  EXPECT_TRUE(version.succeeded()) << version.output;
  EXPECT_EQ("zarn-vote " ZARN_PROJECT_VERSION "\n", version.output);
  const Result manual = run({"man", "-w", "zarn-vote"});
  EXPECT_EQ("/usr/share/man/man1/zarn-vote.1.gz\n", manual.output);
  // The example is the commented file itself, which the instances start from.
  EXPECT_EQ(readWholeFile(ZARN_EXAMPLE_SETTINGS), readWholeFile("/usr/share/zarn-vote/settings.ini"));
}

// The desktop menu starts the window on the user's own folder, made when missing, since /usr/bin is no
// program folder.
TEST_F(PackageTest, TheDesktopEntryStartsTheProgramOnTheUsersOwnFolder) {
  TempFolder home;
  const std::string entry = readWholeFile("/usr/share/applications/zarn-vote.desktop");
  const auto exec = entry.find("\nExec=");
  ASSERT_NE(std::string::npos, exec) << entry;
  const std::string command = entry.substr(exec + 6, entry.find('\n', exec + 1) - exec - 6);
  ChildProcess start(
      {command, "--version"},
      {std::nullopt, std::nullopt, {{"HOME", home.path().string()}, {"XDG_DATA_HOME", std::nullopt}}});
  ASSERT_TRUE(start.waitForEnd(60s).has_value());
  EXPECT_EQ("zarn-vote " ZARN_PROJECT_VERSION "\n", start.output());
  EXPECT_TRUE(fs::is_directory(home.path() / ".local/share/zarn-vote"));
}

TEST_F(PackageTest, TheTemplateUnitVerifiesAgainstTheInstalledProgram) {
  const Result verify = run({"systemd-analyze", "verify", "--man=no", kUnit});
  EXPECT_TRUE(verify.succeeded()) << verify.output;
  EXPECT_EQ("", verify.output);
}

TEST_F(PackageTest, TheInstalledServiceModePuntsAndChangesTheMap) {
  XServer server;
  auto game = startGame(server.display(), kVoteScenario, "Delta Force Land Warrior,  V1.00.42 package");
  TempFolder folder;
  folder.write("settings.ini", settingsFor(game->title()));
  ServiceProcess service("/usr/bin/zarn-vote", folder.path(), {"--headless"});
  ASSERT_TRUE(game->waitFor("PUNT 3 Bob", kPatience)) << service.output();
  ASSERT_TRUE(game->waitFor("MAP 2", kPatience)) << service.output();
  EXPECT_EQ(0, WEXITSTATUS(service.stop()));
  expectScenarioOutcome(*game);
}

// Both servers run the same game version, so their windows have one title: each on an X display of its
// own, and each instance's environment file names its display. Different players are voted out in each
// game, so that a punt in the wrong game shows.
TEST_F(PackageTest, TwoServersOnTwoDisplaysEachPuntInTheirOwnGameOnly) {
  const std::string title = "Delta Force Land Warrior,  V1.00.42";
  const char* const players =
      "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n"
      "0 join 5 Fay\n0 join 6 Gus\n0 join 7 Hal\n";
  const std::string againstBob =
      std::string(players) +
      "1.0 say 0 /vote 3\n1.3 say 1 /vote 3\n1.6 say 2 /vote 3\n1.9 say 4 /vote 3\n"
      "2.2 say 5 /vote 3\n2.5 say 6 /vote 3\n2.8 say 0 gg\n";
  const std::string againstEve =
      std::string(players) +
      "1.0 say 0 /vote 4\n1.3 say 1 /vote 4\n1.6 say 2 /vote 4\n1.9 say 3 /vote 4\n"
      "2.2 say 5 /vote 4\n2.5 say 6 /vote 4\n2.8 say 0 gg\n";
  XServer alphaServer;
  XServer betaServer;
  auto alphaGame = startGame(alphaServer.display(), againstBob, title);
  auto betaGame = startGame(betaServer.display(), againstEve, title);
  Instance alpha(instanceName("alpha"), "# the alpha server's game\nDISPLAY=" + alphaServer.display() + "\n",
                 settingsFor(title));
  Instance beta(instanceName("beta"), "DISPLAY=\"" + betaServer.display() + "\"\n", settingsFor(title));

  ASSERT_TRUE(alphaGame->waitFor("PUNT 3 Bob", kPatience)) << alpha.process().output();
  ASSERT_TRUE(betaGame->waitFor("PUNT 4 Eve", kPatience)) << beta.process().output();
  EXPECT_TRUE(alphaGame->waitFor("TALK Player:_Bob(3)_voted out!", kPatience)) << alpha.process().output();
  EXPECT_TRUE(betaGame->waitFor("TALK Player:_Eve(4)_voted out!", kPatience)) << beta.process().output();
  EXPECT_EQ(0, WEXITSTATUS(alpha.process().stop()));
  EXPECT_EQ(0, WEXITSTATUS(beta.process().stop()));
  EXPECT_EQ(1, alphaGame->countStarting("PUNT ")) << alphaGame->transcript();
  EXPECT_EQ(1, betaGame->countStarting("PUNT ")) << betaGame->transcript();
  expectNoGameFaults(*alphaGame);
  expectNoGameFaults(*betaGame);
}

// Last: removal keeps the instances' folders and leaves no file of the package; the purge deletes them.
TEST_F(PackageTest, RemovalLeavesNoFileBehindAndPurgeDeletesTheInstances) {
  ASSERT_FALSE(package->files.empty());
  // An instance that ran: its folder as systemd made it, with the operator's settings.
  const fs::path instance = kInstanceFolders / instanceName("purged");
  fs::create_directories(instance);
  std::ofstream(instance / "settings.ini") << "[General]\r\nFirst Run=False\r\n";

  const Result removal = run({"dpkg", "-r", "zarn-vote"});
  ASSERT_TRUE(removal.succeeded()) << removal.output;
  for (const fs::path& file : package->files)
    EXPECT_FALSE(fs::exists(fs::symlink_status(file))) << file << " is left after dpkg -r";
  for (const char* folder : {"/usr/share/zarn-vote", "/usr/share/doc/zarn-vote", "/usr/libexec/zarn-vote"})
    EXPECT_FALSE(fs::exists(folder)) << folder << " is left after dpkg -r";
  EXPECT_TRUE(fs::exists(instance / "settings.ini")) << "dpkg -r deleted an instance's settings";

  const Result purge = run({"dpkg", "-P", "zarn-vote"});
  ASSERT_TRUE(purge.succeeded()) << purge.output;
  EXPECT_FALSE(fs::exists(kInstanceFolders)) << "dpkg -P left the instances' folders";
  EXPECT_FALSE(run({"dpkg-query", "-W", "zarn-vote"}).succeeded()) << "dpkg still knows the package";
}

}  // namespace

// The status by which CTest tells a skipped test (SKIP_RETURN_CODE).
constexpr int kSkipped = 77;

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::geteuid() != 0 && std::getenv("CI") == nullptr) {
    std::cout << "Skipped: this test installs a package on this machine; run it as root (as CI does)\n";
    return kSkipped;
  }
  package = new InstalledPackage;
  ::testing::AddGlobalTestEnvironment(package);
  return RUN_ALL_TESTS();
}
