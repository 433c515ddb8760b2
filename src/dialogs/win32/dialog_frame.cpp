#include "dialogs/win32/dialog_frame.h"

#include "common/runtime_error.h"
#include "common/windows/last_error.h"

namespace {

constexpr char kWindowClass[] = "ZarnVoteDialog";
// A fixed border with a title bar and a close box, no minimise or maximise button.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

}  // namespace

DialogFrame::DialogFrame(const char* caption, HWND owner, win32ui::NoticePort& notices)
    : font_(win32ui::makeFont(8)), port_(*this, notices) {
  win32ui::registerWindowClass(kWindowClass, &DialogFrame::procedure);
  window_ = CreateWindowExA(kExStyle, kWindowClass, caption, kStyle, 0, 0, 0, 0, owner, nullptr,
                            GetModuleHandleA(nullptr), this);
  if (window_ == nullptr)
    throw RuntimeError(std::string("cannot make the window ") + caption + ": " + lastErrorText());
  // The fixed dialog border shows no icon of its own; the system menu and Alt+Tab show this one.
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(win32ui::programIcon(32)));
}

DialogFrame::~DialogFrame() {
  if (window_ != nullptr) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void DialogFrame::placeWindow(int left, int top, int clientWidth, int clientHeight) {
  win32ui::placeWindow(window_, left, top, clientWidth, clientHeight);
}

void DialogFrame::present() {
  if (window_ == nullptr)
    return;
  ShowWindow(window_, IsWindowVisible(window_) ? SW_SHOW : SW_SHOWNORMAL);
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(window_);
  SetActiveWindow(window_);
}

void DialogFrame::destroy() {
  if (window_ != nullptr)
    DestroyWindow(window_);
}

void DialogFrame::pressFocusedButton() {
  HWND focused = GetFocus();
  if (win32ui::isPushButton(focused) && GetParent(focused) == window_)
    SendMessageA(focused, BM_CLICK, 0, 0);
}

bool DialogFrame::handle(UINT, WPARAM, LPARAM, LRESULT&) {
  return false;
}

void DialogFrame::Port::showNotice(const std::string& text) {
  notices_.notify(frame_.window_, text);
}

void DialogFrame::Port::close() {
  frame_.destroy();
}

LRESULT CALLBACK DialogFrame::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* frame = reinterpret_cast<DialogFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (frame == nullptr)
    return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCCREATE)
    frame->window_ = window;
  return frame->dispatch(message, wParam, lParam);
}

LRESULT DialogFrame::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  switch (message) {
    case WM_COMMAND:
      command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CLOSE:
      // The close box only closes; each dialog decides what Escape (IDCANCEL) does.
      DestroyWindow(window);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        focus_ = GetFocus();
        break;
      }
      if (focus_ != nullptr && IsChild(window, focus_))
        SetFocus(focus_);
      else
        SetFocus(GetNextDlgTabItem(window, nullptr, FALSE));
      if (onActivated)
        onActivated(*this);
      return 0;
    case WM_DESTROY:
      // The window is going: from here on the frame is closed, whatever the closing handler does.
      window_ = nullptr;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      if (onClosing)
        onClosing(*this);
      return 0;
    default: {
      LRESULT result = 0;
      if (handle(message, wParam, lParam, result))
        return result;
      break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
