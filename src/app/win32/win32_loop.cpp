#include "app/win32/win32_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/runtime_error.h"
#include "common/windows/last_error.h"

namespace {

constexpr char kWindowClass[] = "ZarnVoteLoop";
// The message that carries a value from `post`.
constexpr UINT kPosted = WM_APP + 1;

// SetTimer's own limits: at least 10 ms (it raises smaller values to that), at most some 24.8 days.
UINT timerDelay(std::chrono::milliseconds delay) {
  const auto milliseconds = std::clamp<long long>(delay.count(), USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  return static_cast<UINT>(milliseconds);
}

}  // namespace

Win32Loop::Win32Loop() {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Win32Loop::windowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kWindowClass;
  // A second loop in the same program finds the class registered already.
  if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw RuntimeError("cannot register the event loop's window class: " + lastErrorText());
  window_ = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                            nullptr);
  if (window_ == nullptr)
    throw RuntimeError("cannot make the event loop's window: " + lastErrorText());
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Loop::~Win32Loop() {
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

LRESULT CALLBACK Win32Loop::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* loop = reinterpret_cast<Win32Loop*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (loop != nullptr && message == WM_TIMER) {
    loop->fire(static_cast<std::uintptr_t>(wParam));
    return 0;
  }
  if (loop != nullptr && message == kPosted) {
    if (loop->posted_)
      loop->posted_(static_cast<std::uintptr_t>(wParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Win32Loop::fire(std::uintptr_t id) {
  // Every countdown is a single shot: the timer is gone before its task runs, and the task may schedule
  // the same id again.
  KillTimer(window_, id);
  const auto found = shots_.find(id);
  if (found == shots_.end())
    return;
  std::function<void()> task = std::move(found->second);
  shots_.erase(found);
  task();
}

void Win32Loop::dispatch(MSG& message) {
  if (filter_ && filter_(message))
    return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Win32Loop::processEvents() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
    dispatch(message);
}

void Win32Loop::runLater(std::chrono::milliseconds delay, std::function<void()> task) {
  schedule(newTimerId(), delay, std::move(task));
}

void Win32Loop::schedule(std::uintptr_t id, std::chrono::milliseconds delay, std::function<void()> fire) {
  shots_[id] = std::move(fire);
  if (SetTimer(window_, id, timerDelay(delay), nullptr) == 0) {
    shots_.erase(id);
    throw RuntimeError("cannot start a timer: " + lastErrorText());
  }
}

void Win32Loop::cancel(std::uintptr_t id) {
  KillTimer(window_, id);
  shots_.erase(id);
}

void Win32Loop::post(std::uintptr_t value) {
  PostMessageA(window_, kPosted, static_cast<WPARAM>(value), 0);
}

void Win32Loop::pause(double seconds) {
  if (!(seconds > 0))
    return;
  if (beforePause_)
    beforePause_();
  const double milliseconds = std::min(std::round(seconds * 1000.0), 24.0 * 3600 * 1000);
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    // Wakes for any message that arrives, or at the deadline; the messages are handled before it waits
    // again, so timers fire in the pause as they would in the loop.
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    processEvents();
  }
}

void Win32Loop::run() {
  MSG message;
  while (true) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == -1)
      std::abort();  // only with an invalid window handle, which this loop never passes
    // WM_QUIT is never posted: the program ends through its ProgramEnd, wherever it is.
    if (got != 0)
      dispatch(message);
  }
}

Win32Timer::Win32Timer(Win32Loop& loop, std::function<void()> tick)
    : CountdownTimer(std::move(tick)), loop_(loop), id_(loop.newTimerId()) {}

Win32Timer::~Win32Timer() {
  loop_.cancel(id_);
}

void Win32Timer::halt() {
  halted_ = true;
  loop_.cancel(id_);
}

void Win32Timer::arm(int milliseconds) {
  if (milliseconds > 0 && !halted_)
    loop_.schedule(id_, std::chrono::milliseconds(milliseconds), [this] { fired(); });
  else
    loop_.cancel(id_);
}
