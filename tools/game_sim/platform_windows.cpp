// The simulator as a Windows program (mingw-w64, run under Wine): the game's data inside the program's own
// image, a Win32 window with the game's title, and the keyboard read the way games of this age read it,
// through a DirectInput 8 keyboard device that is polled every 10 ms. The window's key messages serve only
// as a witness: a press the window was told of that no poll saw is reported as MISSED.
#define WIN32_LEAN_AND_MEAN
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
// windows.h first
#include <dinput.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "game_sim/platform.h"

namespace gamesim {

// The game's data lies in its image, as in the real game: linked at image base 0x400000, this zeroed
// area spans about 0x4xxxxx to 0x12xxxxx and so covers the default chat, console and player addresses.
// Wine puts a heap at 0x010A0000 in a 64-bit process, so allocating at those addresses would fail.
alignas(4096) char gameDataArea[14 * 1024 * 1024];

namespace {

constexpr std::int64_t kDirectInputPollMs = 10;
// How long after a key's release (or, for a key never released, its press) a poll may still report it
// before the press counts as missed: Wine feeds DirectInput from another thread.
constexpr std::int64_t kSettleMs = 50;
constexpr std::int64_t kHeldTooLongMs = 1000;
constexpr std::int64_t kRedrawMs = 250;

std::string hexNumber(unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx", value);
  return text;
}

// The same names the X11 build writes (X keysym names) for the keys that matter.
std::string virtualKeyName(unsigned virtualKey) {
  if (virtualKey == VK_OEM_3) {
    return "grave";
  }
  if (virtualKey == VK_RETURN) {
    return "Return";
  }
  if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z')) {
    return std::string(1, static_cast<char>(std::tolower(static_cast<int>(virtualKey))));
  }
  return "vk" + std::to_string(virtualKey);
}

std::string scanCodeName(unsigned scanCode) {
  if (scanCode == DIK_GRAVE) {
    return "grave";
  }
  if (scanCode == DIK_RETURN) {
    return "Return";
  }
  return virtualKeyName(MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK));
}

// A press the window was told of, waiting for a DirectInput poll to see it.
struct Witness {
  std::string key;
  std::int64_t pressedAtMs;
  std::int64_t afterActivationMs;
  std::optional<std::int64_t> releasedAtMs;
};

class GameWindow;
GameWindow* theWindow = nullptr;

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class GameWindow {
 public:
  GameWindow(const Options& options, Game& game, const Clock& clock)
      : game_(game), clock_(clock), title_(options.title) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = "ZarnGameSim";
    if (RegisterClassA(&windowClass) == 0) {
      throw std::runtime_error("cannot register the window class: error " + std::to_string(GetLastError()));
    }
    theWindow = this;
    // ANSI all the way, so a title with two blanks in a row reaches the X properties byte for byte.
    window_ = CreateWindowExA(0, "ZarnGameSim", title_.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 660, 430, nullptr,
                              nullptr, instance, nullptr);
    if (window_ == nullptr) {
      throw std::runtime_error("cannot create the window: error " + std::to_string(GetLastError()));
    }
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    openKeyboard(instance);
  }

  ~GameWindow() {
    theWindow = nullptr;  // the window's last messages (its deactivation) come after EXIT
    if (keyboard_ != nullptr) {
      keyboard_->Unacquire();
      keyboard_->Release();
    }
    if (directInput_ != nullptr) {
      directInput_->Release();
    }
    if (window_ != nullptr) {
      DestroyWindow(window_);
    }
  }

  GameWindow(const GameWindow&) = delete;
  GameWindow& operator=(const GameWindow&) = delete;

  // Wine's X window when Wine tells it (what X programs see), otherwise the window handle.
  std::string windowId() const {
    if (const HANDLE x11Window = GetPropA(window_, "__wine_x11_whole_window")) {
      return hexNumber(reinterpret_cast<std::uintptr_t>(x11Window));
    }
    return hexNumber(reinterpret_cast<std::uintptr_t>(window_));
  }

  // Dispatches every waiting message; returns the reason to stop, or empty.
  std::string handleMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        return "window closed";
      }
      DispatchMessageA(&message);
      if (!stopReason_.empty()) {
        return stopReason_;
      }
    }
    return {};
  }

  // Polls the keyboard when a poll is due and settles the presses no poll saw; returns when next due.
  std::int64_t pollKeyboard(std::int64_t now) {
    if (now >= nextPollMs_) {
      poll(now);
      nextPollMs_ = std::max(nextPollMs_ + kDirectInputPollMs, now + 1);
    }
    settleWitnesses(now);
    std::int64_t due = nextPollMs_;
    for (const Witness& witness : witnesses_) {
      due = std::min(due, witness.releasedAtMs ? *witness.releasedAtMs + kSettleMs
                                               : witness.pressedAtMs + kHeldTooLongMs);
    }
    return due;
  }

  void redraw() {
    std::vector<std::string> lines{title_,
                                   std::string(game_.active() ? "active" : "inactive") + "   console " +
                                       (game_.consoleOpen() ? "open" : "closed") + "   map " +
                                       std::to_string(game_.mapNumber()),
                                   "chat:    " + game_.chatLine(), "console: " + game_.consoleLine(), ""};
    for (int slot = 0; slot < kSlotCount; ++slot) {
      char number[8];
      std::snprintf(number, sizeof number, "%02d ", slot);
      lines.push_back(number + game_.player(slot));
    }
    if (lines != drawn_) {
      drawn_ = std::move(lines);
      InvalidateRect(window_, nullptr, TRUE);
    }
  }

  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::int64_t now = clock_.ms();
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC context = BeginPaint(window, &paint);
        int y = 4;
        for (const std::string& line : drawn_) {
          TextOutA(context, 8, y, line.data(), static_cast<int>(line.size()));
          y += 18;
        }
        EndPaint(window, &paint);
        return 0;
      }
      case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
          game_.deactivate(now);
        } else {
          game_.activate(now);
          activatedAtMs_ = now;
        }
        break;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        if ((lParam & (1L << 30)) == 0) {  // not an auto-repeat
          witnessPress(virtualKeyName(static_cast<unsigned>(wParam)), now);
        }
        break;
      case WM_KEYUP:
      case WM_SYSKEYUP:
        witnessRelease(virtualKeyName(static_cast<unsigned>(wParam)), now);
        break;
      case WM_CLOSE:
        stopReason_ = "window closed";
        return 0;
      default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

 private:
  void openKeyboard(HINSTANCE instance) {
    auto fail = [](const char* step, HRESULT result) {
      throw std::runtime_error(std::string("DirectInput: ") + step +
                               " failed: " + hexNumber(static_cast<unsigned long>(result)));
    };
    void* created = nullptr;
    if (const HRESULT result =
            DirectInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A, &created, nullptr);
        FAILED(result)) {
      fail("DirectInput8Create", result);
    }
    directInput_ = static_cast<IDirectInput8A*>(created);
    if (const HRESULT result = directInput_->CreateDevice(GUID_SysKeyboard, &keyboard_, nullptr);
        FAILED(result)) {
      fail("CreateDevice(keyboard)", result);
    }
    if (const HRESULT result = keyboard_->SetDataFormat(&c_dfDIKeyboard); FAILED(result)) {
      fail("SetDataFormat", result);
    }
    if (const HRESULT result = keyboard_->SetCooperativeLevel(window_, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE);
        FAILED(result)) {
      fail("SetCooperativeLevel", result);
    }
    keyboard_->Acquire();  // refused while another window is in front; the polls try again
  }

  // One look at the key state, as the game's frame loop does. Lost after a deactivation, the keyboard is
  // acquired again here, and the keys down at that moment count from the poll after.
  void poll(std::int64_t now) {
    std::array<BYTE, 256> state{};
    HRESULT result = keyboard_->GetDeviceState(static_cast<DWORD>(state.size()), state.data());
    if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED) {
      keyboard_->Acquire();
      down_.fill(false);
      return;
    }
    if (FAILED(result)) {
      return;
    }
    for (unsigned code = 0; code < state.size(); ++code) {
      const bool down = (state[code] & 0x80) != 0;
      if (down && !down_[code]) {
        keyDown(scanCodeName(code), now);
      }
      down_[code] = down;
    }
  }

  void keyDown(const std::string& key, std::int64_t now) {
    const auto witness =
        std::find_if(witnesses_.begin(), witnesses_.end(), [&key](const Witness& w) { return w.key == key; });
    if (witness != witnesses_.end()) {
      witnesses_.erase(witness);
    } else {
      unwitnessed_.push_back({key, now});  // the poll ran before the window's message came
    }
    game_.keyPolled(key, now);
  }

  void witnessPress(const std::string& key, std::int64_t now) {
    if (GetForegroundWindow() != window_) {
      game_.keyDropped(key, now);
      return;
    }
    const auto seen =
        std::find_if(unwitnessed_.begin(), unwitnessed_.end(),
                     [&key](const std::pair<std::string, std::int64_t>& s) { return s.first == key; });
    if (seen != unwitnessed_.end()) {
      unwitnessed_.erase(seen);
      return;
    }
    witnesses_.push_back({key, now, now - activatedAtMs_, std::nullopt});
  }

  void witnessRelease(const std::string& key, std::int64_t now) {
    for (Witness& witness : witnesses_) {
      if (witness.key == key && !witness.releasedAtMs) {
        witness.releasedAtMs = now;
        return;
      }
    }
  }

  void settleWitnesses(std::int64_t now) {
    unwitnessed_.erase(std::remove_if(unwitnessed_.begin(), unwitnessed_.end(),
                                      [now](const std::pair<std::string, std::int64_t>& s) {
                                        return now - s.second > kHeldTooLongMs;
                                      }),
                       unwitnessed_.end());
    for (auto it = witnesses_.begin(); it != witnesses_.end();) {
      const bool settled =
          it->releasedAtMs ? now - *it->releasedAtMs >= kSettleMs : now - it->pressedAtMs >= kHeldTooLongMs;
      if (!settled) {
        ++it;
        continue;
      }
      std::string why = "never seen by DirectInput: pressed " + std::to_string(it->afterActivationMs) +
                        " ms after activation";
      if (it->releasedAtMs) {
        why += ", held " + std::to_string(*it->releasedAtMs - it->pressedAtMs) + " ms";
      }
      game_.keyMissed(it->key, why, now);
      it = witnesses_.erase(it);
    }
  }

  Game& game_;
  const Clock& clock_;
  std::string title_;
  HWND window_ = nullptr;
  IDirectInput8A* directInput_ = nullptr;
  IDirectInputDevice8A* keyboard_ = nullptr;
  std::array<bool, 256> down_{};
  std::int64_t nextPollMs_ = 0;
  std::int64_t activatedAtMs_ = 0;
  std::deque<Witness> witnesses_;
  std::deque<std::pair<std::string, std::int64_t>> unwitnessed_;
  std::vector<std::string> drawn_;
  std::string stopReason_;
};

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (theWindow != nullptr) {
    return theWindow->handle(window, message, wParam, lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void reserveFixedMemory(const std::vector<MemoryRange>& ranges) {
  const auto begin = reinterpret_cast<std::uintptr_t>(gameDataArea);
  const std::uintptr_t end = begin + sizeof gameDataArea;
  for (const MemoryRange& range : ranges) {
    if (range.address < begin || range.address + range.size > end) {
      throw std::runtime_error("cannot place the " + range.what + " at " + formatAddress(range.address) +
                               ": it lies outside the program's data area " + formatAddress(begin) + " to " +
                               formatAddress(end - 1));
    }
    std::memset(reinterpret_cast<void*>(static_cast<std::uintptr_t>(range.address)), 0, range.size);
  }
}

void runGameLoop(const Options& options, Game& game) {
  const Clock clock;
  GameWindow window(options, game, clock);
  // The Windows process id: under Wine not the Linux pid that X's _NET_WM_PID carries (a file opened here
  // is opened by wineserver, so not even /proc/self tells the Linux one).
  game.start(clock.ms(), options.title, static_cast<long>(GetCurrentProcessId()), window.windowId(),
             options.chatAddress, options.consoleAddress, options.playersAddress);
  const RunLimit limit(options);
  std::string reason;
  while (reason.empty()) {
    reason = window.handleMessages();
    const std::int64_t now = clock.ms();
    game.advance(now);
    const std::int64_t keyboardDue = std::min(window.pollKeyboard(now), now + kRedrawMs);
    if (reason.empty() && limit.reached(now)) {
      reason = "time limit";
    }
    window.redraw();
    if (!reason.empty()) {
      break;
    }
    const std::int64_t due = limit.wakeBy(keyboardDue, game);
    const std::int64_t wait = std::clamp<std::int64_t>(due - clock.ms(), 0, kRedrawMs);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait), QS_ALLINPUT);
  }
  game.exit(clock.ms(), reason);
}

}  // namespace gamesim
