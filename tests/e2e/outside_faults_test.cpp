// Faults from outside the program, end to end: zarn-vote against the game simulator under Xvfb while the
// game dies in the middle of a console sequence, its window goes away, settings.ini changes under the
// running service or is a folder, and the program folder, the error log or the disk refuse writes. The
// checks look at what an operator and the game see: the exit status, zarn-vote's stderr, the simulator's
// transcript and errorlog.log. Real time: the service ticks at short intervals, and each test takes some
// five to twenty seconds.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/error_log_entries.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Seconds to wait for one step: a punt with its announcement takes some five seconds of console pauses,
// and the machine may be busy.
constexpr int kPatience = 40;
// The processing interval the tests set (Interval 2), and a wait that spans two processing ticks.
constexpr auto kTwoProcessingTicks = 4s;

// 0 for a file that is not there.
std::uintmax_t sizeOf(const fs::path& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  return error ? 0 : size;
}

// A window title no other test's game has.
std::string uniqueTitle() {
  static int counter = 0;
  return "Delta Force Land Warrior,  V1.00.42 outside " + std::to_string(::getpid()) + "-" +
         std::to_string(++counter);
}

// The game simulator, as the user given, until it ends by itself after two minutes.
struct Game : GameSimProcess {
  Game(const std::string& title, const std::string& scenario, std::optional<UserIds> user = std::nullopt)
      : GameSimProcess(ZARN_GAME_SIM_PATH, scenario, {"--exit-after", "120"}, title, {}, user) {}
  bool waitForStart(const std::string& start) const {
    return !GameSimProcess::waitForStart(start, kPatience).empty();
  }
  bool waitFor(const std::string& line) const { return GameSimProcess::waitFor(line, kPatience); }
};

// zarn-vote with --dir on a program folder the test prepared.
struct Service : ServiceProcess {
  Service(const fs::path& folder, const std::vector<std::string>& mode, ChildSetup setup = {})
      : ServiceProcess(ZARN_VOTE_PATH, folder, mode, setup) {}
  std::string output() const { return "\nzarn-vote's output:\n" + ChildProcess::output(); }
  bool waitForOutput(const std::string& text, int times = 1) const {
    return ChildProcess::waitForOutput(text, kPatience, times);
  }
  bool waitForLog(const std::string& text) const { return ServiceProcess::waitForLog(text, kPatience); }
  // Alive, then SIGTERM ends it with status 0.
  void expectRunningAndStops() {
    ASSERT_TRUE(running()) << describeStatus(waitForEnd(0ms).value_or(-1)) << output();
    const int status = stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << describeStatus(status) << output();
  }
};

const std::vector<std::string> kHeadless{"--headless"};

const std::string kSevenPlayers =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n0 join 6 Gus\n";

// Six players vote for `target`: "3" votes Bob (slot 3) out, "map" changes the map. One line every 0.3 s,
// three collection intervals each.
std::string votesFor(const std::string& target, double from) {
  std::ostringstream lines;
  int at = 0;
  for (const int slot : {0, 1, 2, 4, 5, 6})
    lines << from + 0.3 * at++ << " say " << slot << " /vote " << target << "\n";
  lines << from + 0.3 * at << " say 0 gg\n";
  return lines.str();
}

const std::string kAnnouncement = "TALK Player:_Bob(3)_voted out!";
const std::string kMapNotice = "TALK Map has been voted ~ map changing...";

// The service at short intervals, processing every 1.5 s.
std::string settings(const std::string& title, const std::string& more = "") {
  return settingsFor(title, "", more, "1500");
}

// Every entry whole: it ends with CR LF and its label, with at least date, time and description before.
void expectWholeEntries(const std::string& log) {
  EXPECT_TRUE(log.empty() || log.ends_with("\r\n"))
      << "the log ends in a cut entry: ..." << log.substr(log.size() > 200 ? log.size() - 200 : 0);
  for (const std::string& entry : errorLogEntries(log)) {
    const bool labelled = entry.ends_with(" - Vote Collection") || entry.ends_with(" - Vote Processing") ||
                          entry.ends_with(" - Game Link") || entry.ends_with(" - Settings");
    int separators = 0;
    for (std::size_t at = entry.find(" - "); at != std::string::npos; at = entry.find(" - ", at + 3))
      ++separators;
    EXPECT_TRUE(labelled && separators >= 3) << entry;
  }
}

// Clicks a button of the main window, given by its centre's distance from the window's bottom edge (the
// buttons span the window's width or sit in thirds), through the X test extension.
bool clickMainWindow(const std::string& xFraction, int fromBottom) {
  const std::string command =
      "w=$(xdotool search --onlyvisible --name '^Zarn - Vote$' | head -n 1) && [ -n \"$w\" ] && "
      "eval $(xdotool getwindowgeometry --shell \"$w\") && "
      "xdotool mousemove --window \"$w\" $((WIDTH * " +
      xFraction + ")) $((HEIGHT - " + std::to_string(fromBottom) + ")) click 1";
  return std::system(command.c_str()) == 0;
}

using OutsideFaultsTest = OnXvfbTest;

// --- The game killed in the middle of a console sequence and started again ---------------------------
//
// While the game is away every tick fails at its first call on the game and is logged; the vote table,
// the vote log, the map count and the counters stay as they were. The restarted game is found by its
// title. What it may be sent then follows from where the sequence was cut: a tick ends at the failing
// call, so whatever the tick had already changed stays changed, and whatever it had not reached is done
// by the next tick that gets there.

// The punt went out and the count was cleared before the announcement began, so the tick that dies in
// the announcement leaves nothing to do: the new game hears nothing, not even the rest of the announcement.
TEST_F(OutsideFaultsTest, GameKilledDuringThePuntAnnouncementIsFoundAgainAndSentNothing) {
  const std::string title = uniqueTitle();
  const fs::path folder = programFolder(settings(title));
  auto first = std::make_unique<Game>(title, kSevenPlayers + votesFor("3", 1));
  ASSERT_TRUE(first->waitForStart("START"));
  Service service(folder, kHeadless);

  ASSERT_TRUE(first->waitFor("PUNT 3 Bob")) << first->transcript() << service.output();
  ASSERT_TRUE(first->waitFor("COMMAND talk")) << first->transcript() << service.output();
  first->kill();
  EXPECT_EQ(0, first->count(kAnnouncement)) << first->transcript();
  ASSERT_TRUE(service.waitForLog(" - Vote Processing")) << "the cut tick is logged" << service.output();
  ASSERT_TRUE(service.waitForOutput("zarn-vote: game not found: ")) << service.output();

  // Bob is back in slot 3: a count that had not been cleared would punt him again.
  Game second(title, kSevenPlayers);
  ASSERT_TRUE(service.waitForOutput("zarn-vote: game found: ", 2)) << service.output();
  std::this_thread::sleep_for(kTwoProcessingTicks);
  EXPECT_EQ(0, second.countStarting("KEY")) << second.transcript();
  EXPECT_EQ(0, second.countStarting("COMMAND")) << second.transcript();
  EXPECT_EQ(0, second.countStarting("TALK")) << second.transcript();
  service.expectRunningAndStops();
  expectWholeEntries(service.errorLog());
}

// A restarted game is another game: the votes counted in the old one do not carry over. Killed before its
// punt command or in its map notice, the old game saw neither; Bob is back in slot 3 of the new game, which
// starts with no votes and hears nothing.
TEST_F(OutsideFaultsTest, GameKilledBeforeItsPuntOrMapChangeLeavesTheNewGameWithoutVotes) {
  const struct {
    std::string votes;
    const char* cutAt;
  } cases[] = {{votesFor("3", 1), "CONSOLE open"}, {votesFor("map", 1), "COMMAND talk"}};
  for (const auto& [votes, cutAt] : cases) {
    SCOPED_TRACE(cutAt);
    const std::string title = uniqueTitle();
    TempFolder folder;
    folder.write("settings.ini", settings(title));
    auto first = std::make_unique<Game>(title, kSevenPlayers + votes);
    ASSERT_TRUE(first->waitForStart("START"));
    Service service(folder.path(), kHeadless);

    ASSERT_TRUE(first->waitFor(cutAt)) << first->transcript() << service.output();
    first->kill();
    EXPECT_EQ(0, first->countStarting("PUNT") + first->countStarting("MAP")) << first->transcript();
    ASSERT_TRUE(service.waitForLog(" - Vote Processing")) << service.output();

    Game second(title, kSevenPlayers);
    ASSERT_TRUE(service.waitForLog("the vote log start afresh - Game Link")) << service.output();
    std::this_thread::sleep_for(kTwoProcessingTicks);
    EXPECT_EQ(0, second.countStarting("KEY")) << second.transcript();
    service.expectRunningAndStops();
    expectWholeEntries(service.errorLog());
  }
}

// A game that is back before the next call of the sequence is found again, but it is another game: killed
// in the pause of four seconds between the notice and "resetgames", the old game has heard the notice, and
// the new one, whose players voted for nothing, gets no map change and no key at all.
TEST_F(OutsideFaultsTest, GameRestartedWithinThePauseBeforeTheMapChangeGetsNothing) {
  const std::string title = uniqueTitle();
  const fs::path folder = programFolder(settings(title));
  auto first = std::make_unique<Game>(title, kSevenPlayers + votesFor("map", 1));
  ASSERT_TRUE(first->waitForStart("START"));
  Service service(folder, kHeadless);

  ASSERT_TRUE(first->waitFor(kMapNotice)) << first->transcript() << service.output();
  // The game takes a key while it is still held: the link releases it some 20 ms later, and a game gone
  // by then fails the release and with it the notice.
  std::this_thread::sleep_for(300ms);
  first->kill();
  Game second(title, kSevenPlayers);
  ASSERT_TRUE(service.waitForLog("the vote log start afresh - Game Link")) << service.output();
  std::this_thread::sleep_for(kTwoProcessingTicks);
  EXPECT_EQ(0, first->countStarting("MAP")) << first->transcript();
  EXPECT_EQ(0, second.countStarting("KEY")) << second.transcript();
  EXPECT_EQ(0, second.countStarting("MAP")) << second.transcript();
  service.expectRunningAndStops();
}

// The operator's Next Map is a request that stays raised until its last command went out: cut in its
// notice, it is carried out whole by the first tick that reaches the new game, and only once.
TEST_F(OutsideFaultsTest, OperatorsNextMapCutByTheGamesDeathIsCarriedOutOnceInTheNewGame) {
  if (std::system("command -v xdotool >/dev/null") != 0)
    GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
  const std::string title = uniqueTitle();
  const fs::path folder = programFolder(settings(title));
  auto first = std::make_unique<Game>(title, kSevenPlayers);
  ASSERT_TRUE(first->waitForStart("START"));
  Service service(folder, {});
  ASSERT_TRUE(service.waitForOutput("zarn-vote: game found: ")) << service.output();

  // Next Map sits in the middle of the row of three buttons, 55 pixels above the window's bottom edge. Its
  // message box stays open: the request is raised before it shows, and the ticks run on behind it.
  ASSERT_TRUE(clickMainWindow("1 / 2", 55));
  ASSERT_TRUE(first->waitFor("COMMAND talk")) << first->transcript() << service.output();
  first->kill();
  EXPECT_EQ(0, first->countStarting("MAP")) << first->transcript();
  ASSERT_TRUE(service.waitForLog(" - Vote Processing")) << service.output();

  Game second(title, kSevenPlayers);
  ASSERT_TRUE(second.waitFor("MAP 2")) << second.transcript() << service.output();
  std::this_thread::sleep_for(kTwoProcessingTicks);
  EXPECT_EQ(1, second.count("TALK The admin has voted for a map change!")) << second.transcript();
  EXPECT_EQ(1, second.count("COMMAND resetgames")) << second.transcript();
  EXPECT_EQ(2, second.countStarting("COMMAND")) << second.transcript();
  expectNoGameFaults(second);
  EXPECT_TRUE(service.running()) << service.output();
}

// --- The game's window gone while its process lives ----------------------------------------------------

// Reading the game needs no window, so the loss shows at the first key: the punt fails, the link looks for
// the window by its title, reports that it finds none, and every tick fails and is logged until a window
// with the title is back. The punt's count was not cleared, so it goes out once the window is back.
TEST_F(OutsideFaultsTest, WindowGoneWhileTheGameRunsFailsTheTicksUntilItIsBack) {
  const std::string title = uniqueTitle();
  const fs::path folder = programFolder(settings(title));
  Game game(title, kSevenPlayers + "1 window gone\n" + votesFor("3", 1.5) + "10 window back\n");
  ASSERT_TRUE(game.waitForStart("START"));
  Service service(folder, kHeadless);
  ASSERT_TRUE(service.waitForOutput("zarn-vote: game found: ")) << service.output();

  ASSERT_TRUE(game.waitFor("WINDOW gone")) << game.transcript();
  ASSERT_TRUE(service.waitForOutput("zarn-vote: game not found: ")) << service.output();
  ASSERT_TRUE(service.waitForLog("cannot press a key in the game")) << service.errorLog() << service.output();
  ASSERT_TRUE(service.waitForLog(" - Vote Collection")) << "reads fail too while no window has the title";
  EXPECT_TRUE(service.running()) << service.output();
  EXPECT_EQ(0, game.countStarting("WINDOW back"))
      << "too slow to see the failure before the window came back" << game.transcript() << service.errorLog();
  EXPECT_EQ(0, game.countStarting("KEY")) << game.transcript();

  ASSERT_TRUE(game.waitForStart("WINDOW back")) << game.transcript();
  ASSERT_TRUE(service.waitForOutput("zarn-vote: game found: ", 2)) << service.output();
  ASSERT_TRUE(game.waitFor(kAnnouncement)) << game.transcript() << service.output();
  std::this_thread::sleep_for(kTwoProcessingTicks);
  EXPECT_EQ(1, game.count("PUNT 3 Bob")) << game.transcript();
  EXPECT_EQ(1, game.count(kAnnouncement)) << game.transcript();
  expectNoGameFaults(game);
  const std::string log = service.errorLog();
  expectWholeEntries(log);
  service.expectRunningAndStops();
}

// --- settings.ini changed while the program runs -------------------------------------------------------

using SettingsChangeTest = WindowAndServiceModeTest;

// With the limit 5, three votes punt nobody. The operator lowers the limit to 2 and changes the
// announcement while the service runs: the ticks go on with the old values until the next activation
// (SIGHUP without the window; Pause Service, then Start Service in it), and the first tick after it punts.
TEST_P(SettingsChangeTest, SettingsChangedWhileRunningTakeEffectAtTheNextActivationOnly) {
  const bool window = GetParam();
  if (window && std::system("command -v xdotool >/dev/null") != 0)
    GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
  const std::string title = uniqueTitle();
  const fs::path folder = programFolder(settings(title));
  Game game(title,
            kSevenPlayers + "4 say 0 /vote 3\n4.3 say 1 /vote 3\n4.6 say 2 /vote 3\n4.9 say 0 three now\n");
  ASSERT_TRUE(game.waitForStart("START"));
  Service service(folder, mode());
  ASSERT_TRUE(service.waitForOutput("zarn-vote: game found: ")) << service.output();

  programFolder(settings(title, "[Votes]\r\nMax Player Votes=2\r\n[Messages]\r\nPunt Message 2=_is out\r\n"));
  ASSERT_TRUE(game.waitFor("CHAT Ann: three now")) << game.transcript();
  std::this_thread::sleep_for(kTwoProcessingTicks);
  EXPECT_EQ(0, game.countStarting("COMMAND"))
      << "the new limit took effect before an activation" << game.transcript();

  if (window) {
    // Pause Service and Start Service are one button across the bottom of the window, 19 pixels up.
    ASSERT_TRUE(clickMainWindow("1 / 2", 19));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(clickMainWindow("1 / 2", 19));
  } else {
    service.signal(SIGHUP);
    ASSERT_TRUE(service.waitForOutput("zarn-vote: reloading the settings")) << service.output();
  }
  ASSERT_TRUE(game.waitFor("TALK Player:_Bob(3)_is out")) << game.transcript() << service.output();
  EXPECT_EQ(1, game.count("PUNT 3 Bob")) << game.transcript();
  expectNoGameFaults(game);
  EXPECT_EQ("", service.errorLog());
  if (window)
    EXPECT_TRUE(service.running()) << service.output();
  else
    service.expectRunningAndStops();
}

INSTANTIATE_TEST_SUITE_P(WindowAndServiceMode, SettingsChangeTest, ::testing::Values(true, false),
                         windowOrHeadless);

// --- Program folder, settings file and error log that cannot be written -------------------------------

// Two chat lines that fail the collection tick (a vote for a player number without a row, "/vote" alone),
// then Bob voted out.
const std::string kBadLinesThenVotes =
    kSevenPlayers + "1 say 0 /vote 16\n1.3 say 1 /vote\n" + votesFor("3", 1.6);

// The program folder may not be written: the log entries of the failing ticks are dropped without a word,
// and the service punts as usual. Made writable again, the folder takes the next entry, and only that one.
// Root is not stopped by permission bits, so as root the game and the service run as "nobody".
TEST_F(OutsideFaultsTest, ReadOnlyProgramFolderDropsLogEntriesAndTheServiceVotesOn) {
  const std::optional<UserIds> user = unprivilegedUser();
  const std::string title = uniqueTitle();
  const fs::path folder = programFolder(settings(title));
  ::chmod((folder / "settings.ini").c_str(), 0644);
  ::chmod(folder.c_str(), 0555);
  Game game(title, kBadLinesThenVotes + "10 say 0 /vote 17\n", user);
  ASSERT_TRUE(game.waitForStart("START")) << game.transcript();
  Service service(folder, kHeadless, ChildSetup{user, std::nullopt, {}});

  ASSERT_TRUE(game.waitFor("PUNT 3 Bob")) << game.transcript() << service.output();
  EXPECT_EQ(std::vector<std::string>{"settings.ini"}, folder_.names());
  EXPECT_TRUE(service.running()) << service.output();

  ::chmod(folder.c_str(), 0777);
  ASSERT_TRUE(service.waitForLog("Ann: /vote 17")) << game.transcript() << service.output();
  const std::vector<std::string> entries = errorLogEntries(service.errorLog());
  ASSERT_EQ(1u, entries.size()) << service.errorLog();
  EXPECT_TRUE(entries[0].ends_with(" - Ann: /vote 17 - Vote Collection")) << entries[0];
  EXPECT_EQ(1, game.count("PUNT 3 Bob")) << game.transcript();
  EXPECT_EQ(1, game.count(kAnnouncement)) << game.transcript();
  expectNoGameFaults(game);
  EXPECT_EQ(std::string::npos, service.output().find("errorlog")) << service.output();
  service.expectRunningAndStops();
}

// No settings can be read from a folder. Read as an empty file it would mean a first run; instead the
// service ends with status 2 and names the folder. It attaches to nothing and writes nothing but the lock
// file that keeps a second copy off the folder.
TEST_F(OutsideFaultsTest, SettingsFileThatIsAFolderIsReportedAndTheServiceEnds) {
  const fs::path& folder = folder_.path();
  fs::create_directory(folder / "settings.ini");
  Service service(folder, kHeadless);
  const std::optional<int> status = service.waitForEnd(std::chrono::seconds(kPatience));
  ASSERT_TRUE(status.has_value()) << "still running" << service.output();
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 2) << describeStatus(*status) << service.output();
  const std::string output = service.output();
  EXPECT_NE(std::string::npos,
            output.find("zarn-vote: cannot read " + (folder / "settings.ini").string() + ": is a folder"))
      << output;
  EXPECT_EQ(std::string::npos, output.find("First Run")) << output;
  EXPECT_EQ(std::string::npos, output.find("game found")) << output;
  EXPECT_EQ(std::string::npos, output.find("game not found")) << output;
  EXPECT_EQ((std::vector<std::string>{".zarn-vote.lock", "settings.ini"}), folder_.names());
  EXPECT_TRUE(fs::is_empty(folder / "settings.ini"));
}

// An errorlog.log that is a folder takes no entry; the failing ticks end as usual and the service votes on.
TEST_F(OutsideFaultsTest, ErrorLogThatIsAFolderTakesNothingAndTheServiceVotesOn) {
  const std::string title = uniqueTitle();
  const fs::path folder = programFolder(settings(title));
  fs::create_directory(folder / "errorlog.log");
  Game game(title, kBadLinesThenVotes);
  ASSERT_TRUE(game.waitForStart("START"));
  Service service(folder, kHeadless);

  ASSERT_TRUE(game.waitFor(kAnnouncement)) << game.transcript() << service.output();
  std::this_thread::sleep_for(kTwoProcessingTicks);
  EXPECT_EQ(1, game.count("PUNT 3 Bob")) << game.transcript();
  expectNoGameFaults(game);
  EXPECT_TRUE(fs::is_directory(folder / "errorlog.log"));
  EXPECT_TRUE(fs::is_empty(folder / "errorlog.log"));
  EXPECT_EQ((std::vector<std::string>{".zarn-vote.lock", "errorlog.log", "settings.ini"}), folder_.names());
  EXPECT_EQ(std::string::npos, service.output().find("errorlog")) << service.output();
  service.expectRunningAndStops();
}

// --- A full disk for the log ----------------------------------------------------------------------------
//
// A file-size limit stands in for the full disk: with the game gone, every collection tick fails and
// logs an entry, ten a second, until the log reaches the limit. Then the game comes back and Bob is voted
// out. The service must outlive the full log, keep it at most at the limit, and go on voting.

constexpr rlim_t kLogLimit = 2048;

// Started as an operator's shell starts it: SIGXFSZ not ignored, so a write past the limit would kill a
// program that does not ignore it itself.
TEST_F(OutsideFaultsTest, FullLogUnderAFileSizeLimitKeepsTheServiceAliveAndItsEntriesWhole) {
  const std::string title = uniqueTitle();
  const fs::path folder = programFolder(settings(title));
  auto first = std::make_unique<Game>(title, kSevenPlayers);
  ASSERT_TRUE(first->waitForStart("START"));
  Service service(folder, kHeadless, ChildSetup{std::nullopt, kLogLimit, {}});
  ASSERT_TRUE(service.waitForOutput("zarn-vote: game found: ")) << service.output();
  first->kill();

  // Some 150 bytes an entry: the limit is reached within two seconds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kPatience);
  while (sizeOf(folder / "errorlog.log") + 200 < kLogLimit && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(1s);
  ASSERT_TRUE(service.running()) << "zarn-vote ended when its log reached the file-size limit: "
                                 << describeStatus(service.waitForEnd(0ms).value_or(-1)) << service.output();
  const auto full = sizeOf(folder / "errorlog.log");
  EXPECT_LE(full, kLogLimit);
  EXPECT_GT(full + 200, kLogLimit) << "the log never came near its limit";
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(full, sizeOf(folder / "errorlog.log")) << "the log grew past its limit";
  expectWholeEntries(service.errorLog());

  Game second(title, kSevenPlayers + votesFor("3", 1));
  ASSERT_TRUE(second.waitFor(kAnnouncement)) << second.transcript() << service.output();
  EXPECT_EQ(1, second.count("PUNT 3 Bob")) << second.transcript();
  service.expectRunningAndStops();
}

}  // namespace
