// The simulator on Linux: fixed-address memory through mmap, a plain Xlib window that behaves like a
// Wine 8 game window without a window manager, and a poll() loop over the X connection and a signal pipe.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "game_sim/platform.h"

namespace gamesim {
namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signalNumber) {
  const auto byte = static_cast<unsigned char>(signalNumber);
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void installSignalHandlers() {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("cannot create the signal pipe: ") + std::strerror(errno));
  }
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);  // a transcript pipe whose reader went away must not kill the game
}

extern "C" int onXError(Display* display, XErrorEvent* error) {
  char text[256];
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "zarn-game-sim: X error: %s (request %d)\n", text, error->request_code);
  return 0;
}

class GameWindow {
 public:
  GameWindow(const Options& options, Game& game) : game_(game), title_(options.title) {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
      const char* name = std::getenv("DISPLAY");
      throw std::runtime_error(std::string("cannot open the display \"") + (name ? name : "") + "\"");
    }
    XSetErrorHandler(onXError);
    root_ = XDefaultRootWindow(display_);
    // Focus moving between two other windows is reported only to the root: watch it too, so that another
    // window taking the focus deactivates us even when we never held it.
    XSelectInput(display_, root_, FocusChangeMask);
    create();
  }

  ~GameWindow() {
    destroy();
    XCloseDisplay(display_);
  }

  // Makes a new window with the game's title and waits until it is mapped.
  void create() {
    const int screen = XDefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, root_, 0, 0, 640, 330, 1, XBlackPixel(display_, screen),
                                  XWhitePixel(display_, screen));
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    XSetForeground(display_, gc_, XBlackPixel(display_, screen));
    setProperties();
    XSelectInput(display_, window_,
                 ExposureMask | KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask);
    XMapWindow(display_, window_);
    XEvent event;
    do {
      XWindowEvent(display_, window_, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    drawn_.clear();
  }

  // Destroys the window, and waits until the server has, while the process and its memory stay.
  void destroy() {
    if (window_ == None) {
      return;
    }
    XFreeGC(display_, gc_);
    XDestroyWindow(display_, window_);
    XSync(display_, False);
    window_ = None;
    gc_ = nullptr;
  }

  bool exists() const { return window_ != None; }

  GameWindow(const GameWindow&) = delete;
  GameWindow& operator=(const GameWindow&) = delete;

  int connection() const { return XConnectionNumber(display_); }
  std::string windowId() const {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", window_);
    return text;
  }

  // Handles every event that has arrived; returns the reason to stop, or empty.
  std::string handleEvents(const Clock& clock) {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      const std::int64_t now = clock.ms();
      game_.advance(now);
      follow(now);
      if (const std::string reason = handle(event, now); !reason.empty()) {
        return reason;
      }
    }
    return {};
  }

  // Destroys or makes the window as the scenario asks, and tells the game.
  void follow(std::int64_t now) {
    if (game_.windowWanted() == exists()) {
      return;
    }
    if (exists()) {
      destroy();
      game_.windowGone(now);
    } else {
      create();
      game_.windowBack(now, windowId());
    }
  }

  // Draws the game's state when it changed since the last drawing.
  void redraw(bool force) {
    if (window_ == None) {
      return;
    }
    std::string content = std::string(game_.active() ? "active" : "inactive") + "   console " +
                          (game_.consoleOpen() ? "open" : "closed") + "   map " +
                          std::to_string(game_.mapNumber());
    std::vector<std::string> lines{title_, content, "chat:    " + game_.chatLine(),
                                   "console: " + game_.consoleLine(), ""};
    for (int slot = 0; slot < kSlotCount; ++slot) {
      char number[8];
      std::snprintf(number, sizeof number, "%02d ", slot);
      lines.push_back(number + game_.player(slot));
    }
    if (!force && lines == drawn_) {
      return;
    }
    drawn_ = lines;
    XClearWindow(display_, window_);
    int y = 16;
    for (const std::string& line : lines) {
      XDrawString(display_, window_, gc_, 8, y, line.data(), static_cast<int>(line.size()));
      y += 15;
    }
    XFlush(display_);
  }

 private:
  Atom atom(const char* name) { return XInternAtom(display_, name, False); }

  void setProperties() {
    const auto* title = reinterpret_cast<const unsigned char*>(title_.data());
    const int titleLength = static_cast<int>(title_.size());
    // Byte for byte, so a title with two blanks in a row keeps them.
    XChangeProperty(display_, window_, XA_WM_NAME, XA_STRING, 8, PropModeReplace, title, titleLength);
    XChangeProperty(display_, window_, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, PropModeReplace, title,
                    titleLength);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    XChangeProperty(display_, window_, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(host), static_cast<int>(std::strlen(host)));
    const long pid = ::getpid();
    XChangeProperty(display_, window_, atom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    wmProtocols_ = atom("WM_PROTOCOLS");
    wmDeleteWindow_ = atom("WM_DELETE_WINDOW");
    wmTakeFocus_ = atom("WM_TAKE_FOCUS");
    Atom protocols[] = {wmDeleteWindow_, wmTakeFocus_};
    XSetWMProtocols(display_, window_, protocols, 2);
    XWMHints hints{};
    hints.flags = InputHint;
    hints.input = True;
    XSetWMHints(display_, window_, &hints);
    char name[] = "zarn-game-sim";
    char className[] = "ZarnGameSim";
    XClassHint classHint{name, className};
    XSetClassHint(display_, window_, &classHint);
  }

  std::string handle(XEvent& event, std::int64_t now) {
    // Events still queued for a window that was destroyed since belong to no game window any more.
    if (event.xany.window != window_ && event.xany.window != root_) {
      return {};
    }
    switch (event.type) {
      case Expose:
        if (event.xexpose.count == 0) {
          redraw(true);
        }
        break;
      case KeyPress:
      case KeyRelease: {
        const KeySym keysym = XLookupKeysym(&event.xkey, 0);
        const char* name = keysym == NoSymbol ? nullptr : XKeysymToString(keysym);
        const std::string key = name ? name : "keycode" + std::to_string(event.xkey.keycode);
        if (event.type == KeyPress) {
          game_.keyPress(key, now);
        } else {
          game_.keyRelease(key, now);
        }
        break;
      }
      case ClientMessage:
        if (event.xclient.message_type == wmProtocols_ && event.xclient.format == 32) {
          const auto protocol = static_cast<Atom>(event.xclient.data.l[0]);
          if (protocol == wmTakeFocus_) {
            // Like Wine: the protocol message activates; the window then claims the X focus itself, with
            // the sender's timestamp (a stale one leaves the focus where it was, but we stay active).
            game_.activate(now);
            XSetInputFocus(display_, window_, RevertToParent, static_cast<Time>(event.xclient.data.l[1]));
          } else if (protocol == wmDeleteWindow_) {
            return "window closed";
          }
        }
        break;
      case FocusIn:
      case FocusOut:
        focusChanged(event.xfocus, now);
        break;
      default:
        break;
    }
    return {};
  }

  // Receiving the focus never activates; losing it to another window deactivates.
  void focusChanged(const XFocusChangeEvent& change, std::int64_t now) {
    if (change.mode != NotifyNormal && change.mode != NotifyWhileGrabbed) {
      return;  // a keyboard grab, not a change of focus
    }
    const bool ours = change.window == window_;
    if (ours &&
        (change.type == FocusIn || change.detail == NotifyInferior || change.detail == NotifyPointer)) {
      return;
    }
    Window focus = None;
    int revertTo = 0;
    XGetInputFocus(display_, &focus, &revertTo);
    if (focus == window_) {
      return;  // we have it (back) by now
    }
    const bool otherWindow = focus != None && focus != PointerRoot && focus != root_;
    if (ours || otherWindow) {
      game_.deactivate(now);
    }
  }

  Game& game_;
  std::string title_;
  Display* display_ = nullptr;
  Window root_ = None;
  Window window_ = None;
  GC gc_ = nullptr;
  Atom wmProtocols_ = None;
  Atom wmDeleteWindow_ = None;
  Atom wmTakeFocus_ = None;
  std::vector<std::string> drawn_;
};

std::string signalName(int signalNumber) {
  switch (signalNumber) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    default:
      return "signal " + std::to_string(signalNumber);
  }
}

}  // namespace

void reserveFixedMemory(const std::vector<MemoryRange>& ranges) {
  const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  struct Block {
    std::uint64_t begin;
    std::uint64_t end;
    std::string what;
  };
  std::vector<Block> blocks;
  for (const MemoryRange& range : ranges) {
    blocks.push_back(
        {range.address / page * page, (range.address + range.size + page - 1) / page * page, range.what});
  }
  std::sort(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) { return a.begin < b.begin; });
  // Blocks that share a page become one mapping.
  std::vector<Block> merged;
  for (const Block& block : blocks) {
    if (!merged.empty() && block.begin <= merged.back().end) {
      merged.back().end = std::max(merged.back().end, block.end);
      merged.back().what += " and " + block.what;
    } else {
      merged.push_back(block);
    }
  }
  for (const Block& block : merged) {
    void* wanted = reinterpret_cast<void*>(static_cast<std::uintptr_t>(block.begin));
    const std::size_t length = block.end - block.begin;
    void* got = ::mmap(wanted, length, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    const std::string where =
        formatAddress(block.begin) + " to " + formatAddress(block.end - 1) + " (" + block.what + ")";
    if (got == MAP_FAILED) {
      const int error = errno;
      throw std::runtime_error("cannot place the memory at " + where + ": " +
                               (error == EEXIST ? std::string("the range is already in use in this process")
                                                : std::string(std::strerror(error))));
    }
    if (got != wanted) {
      // A kernel older than 4.17 takes the address as a mere hint.
      ::munmap(got, length);
      throw std::runtime_error("cannot place the memory at " + where + ": the system put it elsewhere");
    }
  }
}

void runGameLoop(const Options& options, Game& game) {
  installSignalHandlers();
  GameWindow window(options, game);
  const Clock clock;
  game.start(clock.ms(), options.title, static_cast<long>(::getpid()), window.windowId(), options.chatAddress,
             options.consoleAddress, options.playersAddress);
  const RunLimit limit(options);
  // Text another program writes into the console line shows without any event: look now and then.
  constexpr std::int64_t kRedrawMs = 250;
  std::string reason;
  while (reason.empty()) {
    reason = window.handleEvents(clock);
    const std::int64_t now = clock.ms();
    game.advance(now);
    window.follow(now);
    if (reason.empty() && limit.reached(now)) {
      reason = "time limit";
    }
    window.redraw(false);
    if (!reason.empty()) {
      break;
    }
    const std::int64_t due = limit.wakeBy(now + kRedrawMs, game);
    pollfd waits[2] = {{window.connection(), POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    const int timeout = static_cast<int>(std::clamp<std::int64_t>(due - now, 0, INT_MAX));
    if (::poll(waits, 2, timeout) < 0 && errno != EINTR) {
      throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
    }
    unsigned char signalNumber = 0;
    if (::read(signalPipe[0], &signalNumber, 1) == 1) {
      reason = signalName(signalNumber);
    }
  }
  game.exit(clock.ms(), reason);
}

}  // namespace gamesim
