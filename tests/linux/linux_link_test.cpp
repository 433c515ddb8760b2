// The Linux game link against the game simulator under Xvfb: finding the game by its window title,
// reading and writing its memory, pressing keys that reach it after another window took the focus, and
// finding a restarted game by itself. The link's pauses are real here, as the simulator polls its keyboard
// on the real clock.

// Xlib's macros would break GoogleTest's headers, so GoogleTest comes first.
// clang-format off
#include <gtest/gtest.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
// clang-format on
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "memlink/linux/linux_memory_control.h"
#include "support/fixture_display.h"
#include "support/game_sim_process.h"

namespace {

constexpr const char* kChat = "&H10FE6C0";
constexpr const char* kConsole = "&H11038DC";

class RealPause final : public PausePort {
 public:
  void pause(double seconds) override { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }
};

class LinuxLinkTest : public OnFixtureDisplayTest {
 protected:
  // Starts a simulator and waits until its window is up.
  std::unique_ptr<GameSimProcess> startGame(const std::string& scenario = "",
                                            std::optional<std::string> title = std::nullopt) {
    auto game = std::make_unique<GameSimProcess>(ZARN_GAME_SIM_PATH, scenario, std::vector<std::string>{},
                                                 std::move(title));
    game->waitForStart("START");
    return game;
  }

  bool open(const std::string& title) {
    std::string name = title;
    return link.OpenGame(name);
  }

  // The console command as the console channel sends it.
  void consoleCommand(const std::string& text) {
    link.SendKey(kKeyConsole);
    link.WriteString(kConsole, text, true);
    link.SendKey(kKeyEnter);
  }

  RealPause pause;
  std::vector<std::string> reports;
  LinuxMemoryControl link{pause, [this](const std::string& report) { reports.push_back(report); }};
};

TEST_F(LinuxLinkTest, TheGameIsFoundByItsExactTitleAndItsMemoryIsReadAndWritten) {
  auto game = startGame("0 join 3 Bob\n0 say 3 /vote 3\n");
  game->waitFor("CHAT Bob: /vote 3");

  std::string oneBlank = game->title();
  oneBlank.erase(oneBlank.find("  "), 1);
  EXPECT_FALSE(open(oneBlank)) << "a title with one blank instead of two is another game";
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ("game not found: no window titled \"" + oneBlank + "\"", reports.back());

  ASSERT_TRUE(open(game->title()));
  EXPECT_EQ("game found: \"" + game->title() + "\", process " + std::to_string(game->pid()), reports.back());
  EXPECT_EQ("Bob: /vote 3", link.ReadString(kChat, ReadLength{std::int16_t{90}}));
  EXPECT_EQ("Bob", link.ReadString("&H1100040", ReadLength{std::string("16")}));
  EXPECT_EQ("", link.ReadString("&H1100050", ReadLength{std::string("16")}));
  EXPECT_EQ("Bob: /v", link.ReadString(kChat, ReadLength{std::int16_t{7}}));

  link.WriteString(kConsole, "punt 3", true);
  EXPECT_EQ("punt 3", game->read(0x11038DC, 16));
  EXPECT_THROW(link.ReadString("&H7FFF0000", ReadLength{std::int16_t{90}}), MemoryControlError);

  const std::size_t reported = reports.size();
  EXPECT_TRUE(open(game->title()));
  EXPECT_EQ(reported, reports.size()) << "an unchanged state is reported once";
}

TEST_F(LinuxLinkTest, TwoCopiesOfTheGameAreRefusedByName) {
  auto first = startGame();
  auto second = startGame("", first->title());
  EXPECT_FALSE(open(first->title()));
  EXPECT_NE(std::string::npos, reports.back().find("two copies of the game run")) << reports.back();
  second->stop();
  EXPECT_TRUE(open(first->title()));
}

TEST_F(LinuxLinkTest, KeysReachTheGameAfterAnotherWindowTookTheFocus) {
  auto game = startGame("0 join 3 Bob\n");
  ASSERT_TRUE(open(game->title()));

  // Another program takes the focus: the game goes inactive and would drop keys.
  Display* other = XOpenDisplay(nullptr);
  ASSERT_NE(nullptr, other);
  const Window window = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 50, 50, 0, 0, 0);
  XMapWindow(other, window);
  XSync(other, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  XSetInputFocus(other, window, RevertToParent, CurrentTime);
  XSync(other, False);
  ASSERT_TRUE(game->waitFor("INACTIVE"));

  consoleCommand("punt 3");
  ASSERT_TRUE(game->waitFor("PUNT 3 Bob"));
  EXPECT_EQ(0, game->count("DROPPED grave"));
  EXPECT_EQ(0, game->count("DROPPED Return"));
  XCloseDisplay(other);
}

TEST_F(LinuxLinkTest, AGameThatEndedIsReportedAndARestartedOneIsFoundByItself) {
  auto game = startGame("0 join 1 Ann\n");
  const std::string title = game->title();
  ASSERT_TRUE(open(title));
  EXPECT_EQ("Ann", link.ReadString("&H1100020", ReadLength{std::string("16")}));

  game->kill();
  try {
    link.ReadString(kChat, ReadLength{std::int16_t{90}});
    ADD_FAILURE() << "a read from an ended game succeeded";
  } catch (const MemoryControlError& error) {
    EXPECT_EQ("the game is not reachable: no window titled \"" + title + "\"", std::string(error.what()));
  }
  EXPECT_THROW(link.SendKey(kKeyConsole), MemoryControlError);

  auto restarted = startGame("0 join 1 Cy\n", title);
  restarted->waitFor("JOIN 1 Cy");
  // Until a read finds it, the restarted game gets no key or write: they would finish the ended game's
  // console sequence in it.
  EXPECT_THROW(link.SendKey(kKeyEnter), MemoryControlError);
  EXPECT_THROW(link.WriteString(kConsole, "punt 1", true), MemoryControlError);
  EXPECT_EQ("Cy", link.ReadString("&H1100020", ReadLength{std::string("16")}));
  consoleCommand("resetgames");
  EXPECT_TRUE(restarted->waitFor("MAP 2"));
  EXPECT_EQ(1, restarted->count("KEY Return"));
}

TEST_F(LinuxLinkTest, AnEmptyGameNameMatchesNoUntitledWindow) {
  // Toolkits and Wine make windows with empty titles, on this host and with a pid.
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(nullptr, display);
  const Window untitled = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
  XChangeProperty(display, untitled, XA_WM_NAME, XA_STRING, 8, PropModeReplace, nullptr, 0);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  XChangeProperty(display, untitled, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(host), static_cast<int>(std::string(host).size()));
  const long pid = getpid();
  XChangeProperty(display, untitled, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
  XSync(display, False);

  EXPECT_FALSE(open(""));
  EXPECT_EQ("game not found: no game name set (Name in section Game of settings.ini is empty)",
            reports.back());
  EXPECT_THROW(link.ReadString(kChat, ReadLength{std::int16_t{90}}), MemoryControlError);
  XCloseDisplay(display);
}

TEST_F(LinuxLinkTest, WithoutADisplayNoGameIsFound) {
  ::unsetenv("DISPLAY");
  EXPECT_FALSE(open("any game"));
  EXPECT_EQ("game not found: no X display: DISPLAY is not set", reports.back());
}

}  // namespace
