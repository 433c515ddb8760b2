#include "memlink/linux/x11_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace linuxlink {
namespace {

// Protocol errors on our connection (a window that vanished between two requests) are expected; they
// are recorded here instead of ending the program as Xlib's default handler would. Errors on any other
// connection of the process go to the handler that was there before.
Display* ourDisplay = nullptr;
int trappedError = 0;
XErrorHandler previousHandler = nullptr;
XIOErrorHandler previousIoHandler = nullptr;

// Xlib's default handler for a lost connection ends the program. Ours lets the call that met the loss
// return; the connection's exit handler then marks it broken and the next search connects anew.
int keepGoingOnLostConnection(Display* display) {
  if (display == ourDisplay)
    return 0;
  return previousIoHandler != nullptr ? previousIoHandler(display) : 0;
}

int trapError(Display* display, XErrorEvent* event) {
  if (display == ourDisplay) {
    trappedError = event->error_code;
    return 0;
  }
  return previousHandler != nullptr ? previousHandler(display, event) : 0;
}

void trapErrorsOf(Display* display) {
  ourDisplay = display;
  XErrorHandler previous = XSetErrorHandler(trapError);
  if (previous != trapError)
    previousHandler = previous;
  XIOErrorHandler previousIo = XSetIOErrorHandler(keepGoingOnLostConnection);
  if (previousIo != keepGoingOnLostConnection)
    previousIoHandler = previousIo;
}

// Tells whether the requests made while it lives failed; their errors arrive by the XSync in failed().
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    trappedError = 0;
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // Whether any request so far failed.
  bool failed() {
    XSync(display_, False);
    return trappedError != 0;
  }

 private:
  Display* display_;
};

struct XFreeDeleter {
  void operator()(void* data) const {
    if (data != nullptr)
      XFree(data);
  }
};

std::string hostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

}  // namespace

struct X11Session::Connection {
  Display* display = nullptr;
  Window own = 0;  // unmapped, for server timestamps
  bool broken = false;
  Atom wmName = 0, netWmName = 0, utf8String = 0, wmClientMachine = 0, netWmPid = 0, wmProtocols = 0,
       wmTakeFocus = 0, netActiveWindow = 0, netSupported = 0, timestampProperty = 0;

  ~Connection() {
    if (ourDisplay == display)
      ourDisplay = nullptr;
    // Xlib skips the final round trip on a connection the server dropped, and frees it all the same.
    if (display != nullptr)
      XCloseDisplay(display);
  }

  // The bytes of a property, whatever its type; nothing when it is absent or the window is gone.
  std::optional<std::string> property(Window window, Atom name) const {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 4096, False, AnyPropertyType, &type, &format, &count,
                           &remaining, &raw) != Success)
      return std::nullopt;
    std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    if (type == None || data == nullptr)
      return std::nullopt;
    const std::size_t bytes =
        format == 32 ? count * sizeof(long) : count * static_cast<std::size_t>(format / 8);
    return std::string(reinterpret_cast<const char*>(data.get()), bytes);
  }

  std::optional<long> cardinal(Window window, Atom name) const {
    const auto bytes = property(window, name);
    if (!bytes || bytes->size() < sizeof(long))
      return std::nullopt;
    long value = 0;
    std::memcpy(&value, bytes->data(), sizeof value);
    return value;
  }

  bool windowManagerActivates() const {
    const auto supported = property(DefaultRootWindow(display), netSupported);
    if (!supported)
      return false;
    for (std::size_t at = 0; at + sizeof(long) <= supported->size(); at += sizeof(long)) {
      long atom = 0;
      std::memcpy(&atom, supported->data() + at, sizeof atom);
      if (static_cast<Atom>(atom) == netActiveWindow)
        return true;
    }
    return false;
  }
};

namespace {

void keepRunning(Display*, void* broken) {
  // The X server went away: this connection is dead, the program is not. The next search reconnects.
  *static_cast<bool*>(broken) = true;
}

void collectTree(Display* display, Window window, std::vector<Window>& all) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0)
    return;
  std::unique_ptr<Window, XFreeDeleter> owned(children);
  for (unsigned int i = 0; i < count; ++i) {
    all.push_back(children[i]);
    collectTree(display, children[i], all);
  }
}

}  // namespace

X11Session::X11Session() = default;
X11Session::~X11Session() = default;

bool X11Session::connect(std::string& problem) {
  if (connection_ && !connection_->broken)
    return true;
  connection_.reset();
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    problem = "no X display: DISPLAY is not set";
    return false;
  }
  auto connection = std::make_unique<Connection>();
  connection->display = XOpenDisplay(name);
  if (connection->display == nullptr) {
    problem = std::string("cannot open the X display ") + name;
    return false;
  }
  Display* display = connection->display;
  trapErrorsOf(display);
  XSetIOErrorExitHandler(display, keepRunning, &connection->broken);
  auto atom = [display](const char* atomName) { return XInternAtom(display, atomName, False); };
  connection->wmName = XA_WM_NAME;
  connection->netWmName = atom("_NET_WM_NAME");
  connection->utf8String = atom("UTF8_STRING");
  connection->wmClientMachine = XA_WM_CLIENT_MACHINE;
  connection->netWmPid = atom("_NET_WM_PID");
  connection->wmProtocols = atom("WM_PROTOCOLS");
  connection->wmTakeFocus = atom("WM_TAKE_FOCUS");
  connection->netActiveWindow = atom("_NET_ACTIVE_WINDOW");
  connection->netSupported = atom("_NET_SUPPORTED");
  connection->timestampProperty = atom("_ZARN_VOTE_TIMESTAMP");
  connection->own = XCreateSimpleWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, 0);
  XSelectInput(display, connection->own, PropertyChangeMask);
  connection_ = std::move(connection);
  return true;
}

WindowSearch X11Session::find(const std::string& title) {
  WindowSearch search;
  if (!connect(search.problem))
    return search;
  Connection& c = *connection_;
  ErrorTrap trap(c.display);
  std::vector<Window> all;
  collectTree(c.display, DefaultRootWindow(c.display), all);

  const std::string thisHost = hostName();
  std::vector<GameWindow> here;
  std::string elsewhere;
  bool titled = false;
  for (const Window window : all) {
    const auto name = c.property(window, c.wmName);
    const auto netName = c.property(window, c.netWmName);
    if (name != title && netName != title)
      continue;
    titled = true;
    const auto machine = c.property(window, c.wmClientMachine);
    // A STRING property may carry its terminating NUL.
    const std::string host = machine ? std::string(machine->c_str()) : std::string();
    if (host != thisHost) {
      elsewhere = host.empty() ? "a window that names no host" : "host " + host;
      continue;
    }
    const auto pid = c.cardinal(window, c.netWmPid);
    here.push_back(GameWindow{window, pid ? static_cast<pid_t>(*pid) : 0});
  }
  if (c.broken) {
    search.problem = "the X display connection was lost";
  } else if (here.size() > 1) {
    search.problem = std::to_string(here.size()) + " windows are titled \"" + title +
                     "\": two copies of the game run; close all but one";
  } else if (here.size() == 1 && here[0].pid <= 0) {
    search.problem = "the window titled \"" + title + "\" names no process (_NET_WM_PID)";
  } else if (here.size() == 1) {
    search.found = here[0];
  } else if (titled) {
    search.problem = "the window titled \"" + title + "\" belongs to " + elsewhere + ", not to this host";
  } else {
    search.problem = "no window titled \"" + title + "\"";
  }
  return search;
}

bool X11Session::exists(unsigned long window) {
  std::string ignored;
  if (!connect(ignored))
    return false;
  ErrorTrap trap(connection_->display);
  XWindowAttributes attributes;
  const bool found = XGetWindowAttributes(connection_->display, window, &attributes) != 0;
  return found && !trap.failed() && !connection_->broken;
}

std::optional<unsigned long> X11Session::serverTime() {
  Connection& c = *connection_;
  XChangeProperty(c.display, c.own, c.timestampProperty, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XFlush(c.display);
  // The server answers at once; a connection that died meanwhile must not hold the program.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!c.broken) {
    XEvent event;
    if (XCheckWindowEvent(c.display, c.own, PropertyChangeMask, &event))
      return event.xproperty.time;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      break;
    pollfd connection{ConnectionNumber(c.display), POLLIN, 0};
    ::poll(&connection, 1, static_cast<int>(left.count()));
  }
  return std::nullopt;
}

bool X11Session::activate(unsigned long window) {
  std::string ignored;
  if (!connect(ignored))
    return false;
  Connection& c = *connection_;
  ErrorTrap trap(c.display);
  const std::optional<unsigned long> time = serverTime();
  if (!time)
    return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.format = 32;
  if (c.windowManagerActivates()) {
    event.xclient.window = window;
    event.xclient.message_type = c.netActiveWindow;
    event.xclient.data.l[0] = 2;  // asked for by a tool on the user's behalf, not by an application
    event.xclient.data.l[1] = static_cast<long>(*time);
    XSendEvent(c.display, DefaultRootWindow(c.display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    event.xclient.window = window;
    event.xclient.message_type = c.wmProtocols;
    event.xclient.data.l[0] = static_cast<long>(c.wmTakeFocus);
    event.xclient.data.l[1] = static_cast<long>(*time);
    XSendEvent(c.display, window, False, NoEventMask, &event);
  }
  return !trap.failed() && !c.broken;
}

bool X11Session::sendKey(unsigned long window, unsigned long keysym, bool press, std::string& problem) {
  if (!connect(problem))
    return false;
  Connection& c = *connection_;
  const KeyCode code = XKeysymToKeycode(c.display, keysym);
  if (code == 0) {
    problem = std::string("no key on this keyboard gives ") + XKeysymToString(keysym);
    return false;
  }
  ErrorTrap trap(c.display);
  XEvent event{};
  XKeyEvent& key = event.xkey;
  key.type = press ? KeyPress : KeyRelease;
  key.display = c.display;
  key.window = window;
  key.root = DefaultRootWindow(c.display);
  key.subwindow = None;
  key.time = CurrentTime;
  key.x = key.y = key.x_root = key.y_root = 1;
  key.state = 0;
  key.keycode = code;
  key.same_screen = True;
  XSendEvent(c.display, window, True, press ? KeyPressMask : KeyReleaseMask, &event);
  if (trap.failed() || c.broken) {
    problem = "the game's window is gone";
    return false;
  }
  return true;
}

std::optional<unsigned long> keysymOf(int virtualKey) {
  if (virtualKey >= 'A' && virtualKey <= 'Z')
    return XK_a + static_cast<unsigned long>(virtualKey - 'A');
  if (virtualKey >= '0' && virtualKey <= '9')
    return XK_0 + static_cast<unsigned long>(virtualKey - '0');
  if (virtualKey >= 0x70 && virtualKey <= 0x7B)  // F1 to F12
    return XK_F1 + static_cast<unsigned long>(virtualKey - 0x70);
  switch (virtualKey) {
    case 192:
      return XK_grave;
    case 13:
      return XK_Return;
    case 8:
      return XK_BackSpace;
    case 9:
      return XK_Tab;
    case 27:
      return XK_Escape;
    case 32:
      return XK_space;
    case 0x25:
      return XK_Left;
    case 0x26:
      return XK_Up;
    case 0x27:
      return XK_Right;
    case 0x28:
      return XK_Down;
    default:
      return std::nullopt;
  }
}

}  // namespace linuxlink
