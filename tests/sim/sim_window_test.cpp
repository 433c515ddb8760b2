// zarn-game-sim end to end under Xvfb: a small X client plays the program that steers the game. It finds
// the window by its title, activates it with WM_TAKE_FOCUS and a server timestamp, sends keys with
// XSendEvent, and reads and writes the game's memory with process_vm_readv / process_vm_writev. The checks
// read the simulator's transcript. These tests pause for real time where the keyboard protocol needs it.

// Xlib's macros None and Bool would break GoogleTest's headers, so GoogleTest comes first.
// clang-format off
#include <gtest/gtest.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
// clang-format on
#include <signal.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/fixture_display.h"
#include "support/game_sim_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint64_t kChat = 0x10FE6C0;
constexpr std::uint64_t kConsole = 0x11038DC;
constexpr std::uint64_t kPlayers = 0x1100000;

void pause(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

extern "C" int ignoreXError(Display*, XErrorEvent*) {
  return 0;
}

// One running simulator with a title of its own.
class Simulator : public GameSimProcess {
 public:
  explicit Simulator(const std::string& scenario = "", std::vector<std::string> extra = {})
      : GameSimProcess(ZARN_GAME_SIM_PATH, scenario, std::move(extra)) {}
};

// The steering program's side of the X connection.
class Client {
 public:
  Client() {
    display_ = XOpenDisplay(fixtureDisplay().c_str());
    if (display_ == nullptr) {
      return;
    }
    XSetErrorHandler(ignoreXError);
    root_ = XDefaultRootWindow(display_);
    own_ = XCreateSimpleWindow(display_, root_, 700, 0, 20, 20, 0, 0, 0);
    XSelectInput(display_, own_, PropertyChangeMask | StructureNotifyMask);
    XMapWindow(display_, own_);
    XEvent event;
    do {
      XWindowEvent(display_, own_, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
  }

  ~Client() {
    if (display_ != nullptr) {
      XDestroyWindow(display_, own_);
      XCloseDisplay(display_);
    }
  }

  Display* display() const { return display_; }
  Window root() const { return root_; }
  Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

  // A property's bytes and the name of its type; empty when the window has no such property.
  std::pair<std::string, std::string> property(Window window, Atom name) const {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, name, 0, 1024, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) != Success ||
        type == None) {
      return {};
    }
    const std::size_t unit = format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
    std::string bytes(reinterpret_cast<const char*>(data), count * unit);
    XFree(data);
    char* typeName = XGetAtomName(display_, type);
    std::string typeText = typeName;
    XFree(typeName);
    return {bytes, typeText};
  }

  // The children of the root whose WM_NAME is exactly the title.
  std::vector<Window> windowsTitled(const std::string& title) const {
    Window rootReturn = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> found;
    if (XQueryTree(display_, root_, &rootReturn, &parent, &children, &count) != 0) {
      for (unsigned int i = 0; i < count; ++i) {
        if (property(children[i], XA_WM_NAME).first == title) {
          found.push_back(children[i]);
        }
      }
      XFree(children);
    }
    return found;
  }

  // A current server time: the time of the PropertyNotify that a zero-length append on our own window causes.
  Time serverTime() const {
    XChangeProperty(display_, own_, atom("ZARN_TEST_TIME"), XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XWindowEvent(display_, own_, PropertyChangeMask, &event);
    return event.xproperty.time;
  }

  void activate(Window window) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom("WM_TAKE_FOCUS"));
    event.xclient.data.l[1] = static_cast<long>(serverTime());
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
  }

  void keyEvent(Window window, KeySym keysym, bool press) const {
    XEvent event{};
    event.xkey.type = press ? KeyPress : KeyRelease;
    event.xkey.display = display_;
    event.xkey.window = window;
    event.xkey.root = root_;
    event.xkey.time = CurrentTime;
    event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 1;
    event.xkey.keycode = XKeysymToKeycode(display_, keysym);
    event.xkey.same_screen = True;
    XSendEvent(display_, window, True, press ? KeyPressMask : KeyReleaseMask, &event);
    XSync(display_, False);
  }

  void key(Window window, KeySym keysym, std::chrono::milliseconds hold = 30ms) const {
    keyEvent(window, keysym, true);
    pause(hold);
    keyEvent(window, keysym, false);
  }

  // How the memory control presses a key: activate, let the game poll once, press, hold, release.
  void sendKey(Window window, KeySym keysym) const {
    activate(window);
    pause(100ms);
    key(window, keysym);
  }

  // Another window takes the focus, as a second program on the desktop would.
  void takeFocus() const {
    XSetInputFocus(display_, own_, RevertToParent, CurrentTime);
    XSync(display_, False);
  }

  void giveFocus(Window window) const {
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XSync(display_, False);
  }

 private:
  Display* display_ = nullptr;
  Window root_ = None;
  Window own_ = None;
};

class SimWindowTest : public OnFixtureDisplayTest {
 protected:
  void SetUp() override {
    OnFixtureDisplayTest::SetUp();
    if (HasFatalFailure())
      return;
    ASSERT_NE(client_.display(), nullptr) << "cannot open " << fixtureDisplay();
  }

  // Waits for the simulator's START line, then finds its window.
  Window start(const Simulator& simulator) {
    if (simulator.waitForStart("START ").empty()) {
      return None;
    }
    const std::vector<Window> windows = client_.windowsTitled(simulator.title());
    EXPECT_EQ(windows.size(), 1u) << simulator.title();
    return windows.empty() ? None : windows.front();
  }

  Client client_;
};

TEST_F(SimWindowTest, WindowCarriesTheTitlePidAndHostLikeWinesAndTheMemoryIsReachable) {
  Simulator simulator;
  const Window window = start(simulator);
  ASSERT_NE(window, None);
  EXPECT_EQ(client_.property(window, XA_WM_NAME), std::make_pair(simulator.title(), std::string("STRING")));
  EXPECT_EQ(client_.property(window, client_.atom("_NET_WM_NAME")),
            std::make_pair(simulator.title(), std::string("UTF8_STRING")));
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  EXPECT_EQ(client_.property(window, XA_WM_CLIENT_MACHINE).first, host);
  const std::string pid = client_.property(window, client_.atom("_NET_WM_PID")).first;
  ASSERT_EQ(pid.size(), sizeof(long));
  EXPECT_EQ(*reinterpret_cast<const long*>(pid.data()), simulator.pid());
  const std::string protocols = client_.property(window, client_.atom("WM_PROTOCOLS")).first;
  const auto* atoms = reinterpret_cast<const long*>(protocols.data());
  const std::vector<long> listed(atoms, atoms + protocols.size() / sizeof(long));
  EXPECT_NE(std::find(listed.begin(), listed.end(), static_cast<long>(client_.atom("WM_TAKE_FOCUS"))),
            listed.end());
  EXPECT_NE(std::find(listed.begin(), listed.end(), static_cast<long>(client_.atom("WM_DELETE_WINDOW"))),
            listed.end());
  // A title with one blank where the game has two is another window.
  std::string oneBlank = simulator.title();
  oneBlank.erase(oneBlank.find("  "), 1);
  EXPECT_TRUE(client_.windowsTitled(oneBlank).empty());

  const std::string start = simulator.lines().front();
  EXPECT_EQ(start.rfind("START pid " + std::to_string(simulator.pid()) + " window ", 0), 0u) << start;
  EXPECT_NE(
      start.find("chat &H10FE6C0 console &H11038DC players &H1100000 title \"" + simulator.title() + "\""),
      std::string::npos)
      << start;
  EXPECT_EQ(simulator.read(kChat, 91), "");
  EXPECT_EQ(simulator.read(kConsole, 256), "");
  EXPECT_EQ(simulator.read(kPlayers, 272), "");
}

TEST_F(SimWindowTest, ConsoleCommandWrittenIntoMemoryPuntsThePlayer) {
  Simulator simulator("0 join 3 Bob\n0.1 say 3 /vote 3\n");
  const Window window = start(simulator);
  ASSERT_TRUE(simulator.waitFor("CHAT Bob: /vote 3"));
  EXPECT_EQ(simulator.read(kPlayers + 16 * 4, 16), "Bob");
  EXPECT_EQ(simulator.read(kChat, 90), "Bob: /vote 3");

  client_.sendKey(window, XK_grave);
  ASSERT_TRUE(simulator.waitFor("CONSOLE open"));
  simulator.write(kConsole, "punt 3");
  client_.sendKey(window, XK_Return);
  ASSERT_TRUE(simulator.waitFor("PUNT 3 Bob"));
  EXPECT_EQ(simulator.read(kPlayers + 16 * 4, 16), "");
  EXPECT_EQ(simulator.read(kConsole, 256), "");
  const auto lines = simulator.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "COMMAND punt 3"), 1);
  EXPECT_TRUE(simulator.has("KEY grave"));
  EXPECT_TRUE(simulator.has("KEY Return"));
}

// A console line of 90 bytes: a text written from outside past its end is found by the game's own look
// once a second, with no key pressed.
TEST_F(SimWindowTest, WritingPastAShorterConsoleLineIsReportedAsCorruptedMemory) {
  Simulator simulator("", {"--console-bytes", "90"});
  ASSERT_NE(start(simulator), None);
  simulator.write(kConsole, std::string(100, 'b'));  // and its NUL: 11 bytes too many
  EXPECT_EQ(simulator.waitForStart("MEMORY "),
            "MEMORY CORRUPTED: 11 bytes after the console line were overwritten");
}

TEST_F(SimWindowTest, TalkShowsTheMessageAsTheHostsChatLine) {
  Simulator simulator;
  const Window window = start(simulator);
  client_.sendKey(window, XK_grave);
  simulator.write(kConsole, "talk");
  client_.sendKey(window, XK_Return);
  ASSERT_TRUE(simulator.waitFor("COMMAND talk"));
  simulator.write(kConsole, "Player:_Bob(3)_voted out!");
  client_.sendKey(window, XK_Return);
  ASSERT_TRUE(simulator.waitFor("CHAT Host: Player:_Bob(3)_voted out!"));
  EXPECT_TRUE(simulator.has("TALK Player:_Bob(3)_voted out!"));
  EXPECT_EQ(simulator.read(kChat, 90), "Host: Player:_Bob(3)_voted out!");
}

TEST_F(SimWindowTest, KeysWhileAnotherWindowHasTheFocusAreDroppedUntilWmTakeFocus) {
  Simulator simulator;
  const Window window = start(simulator);
  client_.takeFocus();
  ASSERT_TRUE(simulator.waitFor("INACTIVE"));
  client_.key(window, XK_grave);
  ASSERT_TRUE(simulator.waitFor("DROPPED grave"));

  // The X focus alone does not make the game active again.
  client_.giveFocus(window);
  pause(100ms);
  client_.key(window, XK_Return);
  ASSERT_TRUE(simulator.waitFor("DROPPED Return"));
  EXPECT_FALSE(simulator.has("ACTIVE"));

  client_.sendKey(window, XK_grave);
  ASSERT_TRUE(simulator.waitFor("CONSOLE open"));
  EXPECT_TRUE(simulator.has("ACTIVE"));
  EXPECT_TRUE(simulator.has("KEY grave"));
}

// The simulator times keys by when it reads them, so on a loaded machine (a sanitizer build, a busy CI) a
// key sent right after the activation may still be read more than 10 ms later and count. Each case is
// tried a few times; the rule itself is tested exactly, with hand-fed times, in the game's own tests.
TEST_F(SimWindowTest, KeyRightAfterActivationAndKeyHeldTooShortAreMissed) {
  Simulator simulator;
  const Window window = start(simulator);
  // A press read late counts, and its release may then come too soon: "MISSED grave held 2 ms" is not
  // the miss looked for here, so a line must start and end as asked.
  auto missed = [&simulator](const std::string& start, const std::string& end = "") {
    int count = 0;
    for (const std::string& line : simulator.lines())
      count += line.rfind(start, 0) == 0 && line.ends_with(end) ? 1 : 0;
    return count;
  };
  for (int attempt = 0; attempt < 10 && missed("MISSED grave ", " ms after activation") == 0; ++attempt) {
    client_.takeFocus();
    ASSERT_TRUE(simulator.waitFor("INACTIVE"));
    client_.activate(window);
    client_.key(window, XK_grave);
    pause(200ms);
  }
  EXPECT_GE(missed("MISSED grave ", " ms after activation"), 1);

  client_.sendKey(window, XK_grave);  // the console opens for the next key
  ASSERT_TRUE(simulator.waitFor("CONSOLE open"));
  for (int attempt = 0; attempt < 10 && missed("MISSED Return held ") == 0; ++attempt) {
    client_.key(window, XK_Return, 0ms);
    pause(100ms);
  }
  EXPECT_NE(simulator.waitForStart("MISSED Return held "), "");
}

TEST_F(SimWindowTest, WindowGoneWhileTheProcessAndItsMemoryLiveOnThenANewOneComes) {
  Simulator simulator("0 join 3 Bob\n1.5 window gone\n2 say 3 still here\n3 window back\n");
  const Window first = start(simulator);
  ASSERT_NE(first, None);
  ASSERT_TRUE(simulator.waitFor("WINDOW gone"));
  EXPECT_TRUE(client_.windowsTitled(simulator.title()).empty());
  ASSERT_TRUE(simulator.waitFor("CHAT Bob: still here"));
  EXPECT_EQ(simulator.read(kPlayers + 16 * 4, 16), "Bob");
  simulator.write(kConsole, "punt 3");
  EXPECT_EQ(simulator.read(kConsole, 256), "punt 3");

  const std::string back = simulator.waitForStart("WINDOW back 0x");
  const std::vector<Window> windows = client_.windowsTitled(simulator.title());
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_NE(windows.front(), first);
  EXPECT_EQ(
      back, "WINDOW back 0x" + [&windows] {
        std::ostringstream hex;
        hex << std::hex << windows.front();
        return hex.str();
      }());
  // The new window starts inactive and takes keys once activated; the line written while the window was
  // away is still in the console.
  client_.sendKey(windows.front(), XK_grave);
  ASSERT_TRUE(simulator.waitFor("CONSOLE open"));
  client_.sendKey(windows.front(), XK_Return);
  ASSERT_TRUE(simulator.waitFor("PUNT 3 Bob"));
  const auto lines = simulator.lines();
  const auto gone = std::find(lines.begin(), lines.end(), "WINDOW gone");
  ASSERT_NE(gone, lines.end());
  EXPECT_EQ(*(gone + 1), "INACTIVE");
  EXPECT_NE(std::find(gone, lines.end(), "ACTIVE"), lines.end());
}

TEST_F(SimWindowTest, EndsCleanlyOnSigtermOnCloseAndAfterItsTime) {
  {
    Simulator simulator;
    start(simulator);
    const int status = simulator.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(simulator.lines().back(), "EXIT SIGTERM");
  }
  {
    Simulator simulator;
    const Window window = start(simulator);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = client_.atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(client_.atom("WM_DELETE_WINDOW"));
    XSendEvent(client_.display(), window, False, NoEventMask, &event);
    XSync(client_.display(), False);
    const int status = simulator.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(simulator.lines().back(), "EXIT window closed");
  }
  {
    Simulator simulator("", {"--exit-after", "0.2"});
    const int status = simulator.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(simulator.lines().back(), "EXIT time limit");
  }
}

TEST_F(SimWindowTest, AddressThatCannotBeMappedFailsWithItsRange) {
  Simulator simulator("", {"--chat", "0xFFFF800000000000"});
  const int status = simulator.wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_NE(simulator.errors().find("cannot place the memory at &HFFFF800000000000"), std::string::npos)
      << simulator.errors();
}

}  // namespace
