// The Windows game link against zarn-game-sim.exe on the same Wine desktop, as zarn-vote.exe drives the
// game: the window by its title, the data inside the game's image, keys that DirectInput sees, another
// window in front, the game killed and started again, and a second link kept off a game that one drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/windows/last_error.h"
#include "memlink/windows/windows_memory_control.h"
#include "windows/game_sim_launch.h"

namespace {

constexpr const char* kChat = "&H10FE6C0";
constexpr const char* kConsole = "&H11038DC";
constexpr std::int16_t kChatLength = 90;

// A top-level window of this test program, shown at once.
class OwnWindow {
 public:
  explicit OwnWindow(const std::string& title) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ZarnLinkTestWindow";
    RegisterClassA(&windowClass);  // fails harmlessly when a previous window registered it
    window_ = CreateWindowExA(0, "ZarnLinkTestWindow", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                              40, 300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    EXPECT_NE(nullptr, window_) << lastErrorText();
  }
  ~OwnWindow() { DestroyWindow(window_); }
  OwnWindow(const OwnWindow&) = delete;
  OwnWindow& operator=(const OwnWindow&) = delete;

  HWND handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// The message of the MemoryControlError that `action` raises; empty (and a failure) when it raises none.
template <typename Action>
std::string errorOf(Action action) {
  try {
    action();
  } catch (const MemoryControlError& error) {
    return error.what();
  }
  ADD_FAILURE() << "no MemoryControlError";
  return {};
}

class GameLinkTest : public ::testing::Test {
 protected:
  std::unique_ptr<LaunchedGame> start(const std::string& scenario = "",
                                      const std::string& program = ZARN_GAME_SIM_EXE) {
    auto game = std::make_unique<LaunchedGame>(title, scenario, program);
    EXPECT_TRUE(game->waitForStart("START ")) << game->transcript();
    return game;
  }

  bool open() { return link.OpenGame(title); }
  // One console command as zarn-vote types it: the console key, the line, Enter.
  void command(const std::string& text) {
    link.SendKey(kKeyConsole);
    link.WriteString(kConsole, text, true);
    link.SendKey(kKeyEnter);
  }

  std::string title = testTitle(::testing::UnitTest::GetInstance()->current_test_info()->name());
  MessagePumpPause pause;
  std::vector<std::string> reports;
  WindowsMemoryControl link{pause, [this](const std::string& report) { reports.push_back(report); }};
};

TEST_F(GameLinkTest, FindsTheGameReadsItsChatAndRunsAConsoleCommandWithKeysDirectInputSees) {
  const auto game = start("0 join 3 Bob\n0.1 say 3 hello\n");
  ASSERT_TRUE(game->waitFor("CHAT Bob: hello")) << game->transcript();
  ASSERT_TRUE(open()) << reports.back();
  EXPECT_EQ("game found: \"" + title + "\", process " + std::to_string(game->pid()), reports.back());
  EXPECT_EQ(1u, link.attachedGame());
  EXPECT_EQ("Bob: hello", link.ReadString(kChat, kChatLength));
  EXPECT_EQ("Bob", link.ReadString("&H1100040", std::string("16")));

  command("punt 3");
  ASSERT_TRUE(game->waitFor("PUNT 3 Bob")) << game->transcript();
  const std::vector<std::string> lines = game->lines();
  for (const char* line : {"KEY grave", "CONSOLE open", "KEY Return", "COMMAND punt 3"})
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), line)) << line << "\n" << game->transcript();
  EXPECT_EQ("", link.ReadString(kConsole, kChatLength)) << "the game empties its console line";
}

#ifdef ZARN_GAME_SIM_EXE32
// The real game is a 32-bit program: the 64-bit link reads and writes it at the same addresses.
TEST_F(GameLinkTest, AThirtyTwoBitGameIsReadAndDrivenLikeTheOthers) {
  const auto game = start("0 join 3 Bob\n0.1 say 3 hello\n", ZARN_GAME_SIM_EXE32);
  ASSERT_TRUE(game->waitFor("CHAT Bob: hello")) << game->transcript();
  const winlink::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, game->pid()));
  BOOL thirtyTwoBit = FALSE;
  ASSERT_TRUE(IsWow64Process(process.get(), &thirtyTwoBit)) << lastErrorText();
  EXPECT_TRUE(thirtyTwoBit) << "the game runs as a 32-bit process";
  ASSERT_TRUE(open()) << reports.back();
  EXPECT_EQ("Bob: hello", link.ReadString(kChat, kChatLength));
  command("punt 3");
  EXPECT_TRUE(game->waitFor("PUNT 3 Bob")) << game->transcript();
}
#endif

TEST_F(GameLinkTest, AKeyReachesTheGameAfterAnotherWindowTookTheFront) {
  const auto game = start("0 join 3 Bob\n");
  ASSERT_TRUE(open()) << reports.back();
  link.SendKey(kKeyConsole);
  ASSERT_TRUE(game->waitFor("CONSOLE open")) << game->transcript();

  const OwnWindow other("Zarn link test other window");
  SetForegroundWindow(other.handle());
  ASSERT_TRUE(game->waitFor("INACTIVE")) << game->transcript();
  link.WriteString(kConsole, "ban 3", true);
  link.SendKey(kKeyEnter);
  ASSERT_TRUE(game->waitFor("BAN 3 Bob")) << game->transcript();

  const std::vector<std::string> lines = game->lines();
  const auto inactive = std::find(lines.begin(), lines.end(), "INACTIVE");
  const auto active = std::find(inactive, lines.end(), "ACTIVE");
  EXPECT_LT(active, std::find(active, lines.end(), "KEY Return")) << game->transcript();
  EXPECT_EQ(0, std::count_if(lines.begin(), lines.end(),
                             [](const std::string& l) {
                               return l.rfind("DROPPED", 0) == 0 || l.rfind("MISSED", 0) == 0;
                             }))
      << game->transcript();
}

TEST_F(GameLinkTest, TwoWindowsWithTheGamesTitleAreRefusedWithBothNamed) {
  const auto game = start();
  {
    const OwnWindow twin(title);
    EXPECT_FALSE(open());
    ASSERT_FALSE(reports.empty());
    const std::string& why = reports.back();
    EXPECT_EQ(0u, why.rfind("game not found: 2 windows are titled \"" + title + "\"", 0)) << why;
    EXPECT_NE(std::string::npos, why.find("of process " + std::to_string(game->pid()))) << why;
    EXPECT_NE(std::string::npos, why.find("of process " + std::to_string(GetCurrentProcessId()))) << why;
    EXPECT_EQ(0u, link.attachedGame());
  }
  EXPECT_TRUE(open()) << reports.back();
}

TEST_F(GameLinkTest, AGameKilledAndStartedAgainIsFoundByTheNextReadAndOnlyByARead) {
  auto first = start("0 join 3 Bob\n0.1 say 3 first\n");
  ASSERT_TRUE(first->waitFor("CHAT Bob: first")) << first->transcript();
  ASSERT_TRUE(open()) << reports.back();
  EXPECT_EQ("Bob: first", link.ReadString(kChat, kChatLength));
  const std::uint64_t firstGame = link.attachedGame();
  const DWORD firstPid = first->pid();
  first->kill();

  const std::string ended = "the game's process " + std::to_string(firstPid) + " has ended";
  EXPECT_EQ(ended, errorOf([this] { link.WriteString(kConsole, "punt 3", true); }));
  EXPECT_EQ(ended, errorOf([this] { link.SendKey(kKeyEnter); }));
  EXPECT_EQ("the game is not reachable: no window titled \"" + title + "\"",
            errorOf([this] { link.ReadString(kChat, kChatLength); }));
  EXPECT_EQ(firstGame, link.attachedGame());

  const auto second = start("0 join 4 Cy\n0.1 say 4 second\n");
  ASSERT_TRUE(second->waitFor("CHAT Cy: second")) << second->transcript();
  // A read that found no game does not let the rest of the first game's console sequence into the second.
  const std::string detached = "the game's process " + std::to_string(firstPid) +
                               " is no longer attached (no window titled \"" + title +
                               "\"); the next read looks for the game again";
  EXPECT_EQ(detached, errorOf([this] { link.WriteString(kConsole, "punt 4", true); }));
  EXPECT_EQ(detached, errorOf([this] { link.SendKey(kKeyEnter); }));
  EXPECT_EQ(firstGame, link.attachedGame());
  EXPECT_EQ("Cy: second", link.ReadString(kChat, kChatLength));
  EXPECT_NE(firstGame, link.attachedGame());
  EXPECT_EQ("game found: \"" + title + "\", process " + std::to_string(second->pid()), reports.back());
  command("punt 4");
  EXPECT_TRUE(second->waitFor("PUNT 4 Cy")) << second->transcript();
  const std::vector<std::string> lines = second->lines();
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "KEY Return")) << second->transcript();
}

TEST_F(GameLinkTest, NoGameMemoryItLacksAndKeysItNeverPressesAreRefusedWithTheReason) {
  std::string empty;
  EXPECT_FALSE(link.OpenGame(empty));
  EXPECT_EQ("game not found: no game name set (Name in section Game of settings.ini is empty)",
            reports.back());
  EXPECT_FALSE(open()) << "a game that is not running is no error";
  EXPECT_EQ("game not found: no window titled \"" + title + "\"", reports.back());
  EXPECT_EQ("the game is not reachable: no window titled \"" + title + "\"",
            errorOf([this] { link.ReadString(kChat, kChatLength); }));

  const auto game = start();
  ASSERT_TRUE(open()) << reports.back();
  // The lowest pages of a process are never mapped; the game's image lies far above.
  const std::string read = errorOf([this] { link.ReadString("&H1000", kChatLength); });
  EXPECT_EQ(0u, read.rfind("cannot read game memory at &H1000: no memory at that address (", 0)) << read;
  EXPECT_NE(std::string::npos, read.find("(error ")) << "the system's error code: " << read;
  const std::string write = errorOf([this] { link.WriteString("&H1000", "punt 3", true); });
  EXPECT_EQ(0u, write.rfind("cannot write game memory at &H1000: no memory at that address (", 0)) << write;
  EXPECT_EQ("no key for virtual-key code 65", errorOf([this] { link.SendKey(65); }));
  EXPECT_EQ(std::string::npos, game->transcript().find("KEY")) << "no key reached the game";
}

TEST_F(GameLinkTest, ASecondLinkCannotTakeAGameTheFirstDrivesUntilTheFirstLetsGo) {
  const auto game = start();
  auto first = std::make_unique<WindowsMemoryControl>(pause, [](const std::string&) {});
  ASSERT_TRUE(first->OpenGame(title));
  EXPECT_FALSE(open());
  EXPECT_EQ("game not usable: the game's process " + std::to_string(game->pid()) +
                " is already driven by another zarn-vote (process " + std::to_string(GetCurrentProcessId()) +
                "); this copy attaches once that one has let go of it",
            reports.back());
  EXPECT_EQ(0u, link.attachedGame());
  EXPECT_TRUE(first->OpenGame(title)) << "opening again keeps the lock";
  first.reset();
  EXPECT_TRUE(open()) << reports.back();
}

// The lock is the system's, not the process's: a copy in another process keeps this one off, and its
// end, however it comes, lets this one on.
TEST_F(GameLinkTest, AnotherProcessThatDrivesTheGameKeepsThisLinkOffUntilItEnds) {
  const auto game = start();
  const TempFolder folder;
  StartedProgram holder(ZARN_LINK_HOLDER_EXE, {title, (folder / "reports.txt").string()});
  ASSERT_TRUE(pollFor([&folder] { return folder.read("reports.txt").rfind("game found", 0) == 0; }, 60))
      << folder.read("reports.txt");
  EXPECT_FALSE(open());
  EXPECT_EQ("game not usable: the game's process " + std::to_string(game->pid()) +
                " is already driven by another zarn-vote (process " + std::to_string(holder.pid()) +
                "); this copy attaches once that one has let go of it",
            reports.back());
  holder.kill();
  EXPECT_TRUE(open()) << reports.back();
}

}  // namespace
