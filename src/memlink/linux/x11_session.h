// The game's window on the X display: found by its title, activated the way Wine expects, and sent key
// presses. Owns its own display connection (separate from any toolkit's) and a small unmapped window of
// its own that yields real server timestamps.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

struct _XDisplay;

namespace linuxlink {

struct GameWindow {
  unsigned long window = 0;
  pid_t pid = 0;
};

// What a search for the game's window found: one window, or why there is none to use.
struct WindowSearch {
  std::optional<GameWindow> found;
  std::string problem;
};

class X11Session {
 public:
  X11Session();
  ~X11Session();
  X11Session(const X11Session&) = delete;
  X11Session& operator=(const X11Session&) = delete;

  // The top-level window whose WM_NAME or _NET_WM_NAME equals `title` byte for byte, on this host, with
  // its _NET_WM_PID. Connects to $DISPLAY first when not connected (again after the server went away).
  WindowSearch find(const std::string& title);

  // Whether the window still exists.
  bool exists(unsigned long window);

  // Makes the window the active one: _NET_ACTIVE_WINDOW through the window manager when one runs,
  // otherwise a WM_TAKE_FOCUS message with a real server timestamp. False when the window is gone.
  bool activate(unsigned long window);

  // One KeyPress or KeyRelease of the key with this X keysym, sent to the window and flushed. False when
  // the window is gone or the keysym has no key on this keyboard (`problem` says which).
  bool sendKey(unsigned long window, unsigned long keysym, bool press, std::string& problem);

 private:
  struct Connection;
  bool connect(std::string& problem);
  // A real server timestamp; nothing when the server does not answer.
  std::optional<unsigned long> serverTime();

  std::unique_ptr<Connection> connection_;
};

// The X keysym of a Windows virtual-key code: 192 is the grave key that opens the console, 13 Return,
// and the usual letters, digits, function and editing keys. Nothing for a code without one.
std::optional<unsigned long> keysymOf(int virtualKey);

}  // namespace linuxlink
