#include "app/win32/win32_ui.h"

#include <shellapi.h>

#include <algorithm>

#include "app/win32/resources/resource_ids.h"
#include "common/runtime_error.h"
#include "common/windows/last_error.h"

namespace win32ui {

POINT screenDpi() {
  HDC screen = GetDC(nullptr);
  const POINT dpi{GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY)};
  ReleaseDC(nullptr, screen);
  return dpi;
}

RECT twipsRect(int left, int top, int width, int height) {
  const POINT dpi = screenDpi();
  const int x = twipsToPixels(left, dpi.x);
  const int y = twipsToPixels(top, dpi.y);
  return {x, y, x + twipsToPixels(width, dpi.x), y + twipsToPixels(height, dpi.y)};
}

void placeWindow(HWND window, int left, int top, int clientWidth, int clientHeight, bool moveIt) {
  RECT frame = twipsRect(left, top, clientWidth, clientHeight);
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
  const bool hasMenu = GetMenu(window) != nullptr;
  const POINT corner{frame.left, frame.top};
  AdjustWindowRectEx(&frame, style, hasMenu, exStyle);
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (!moveIt)
    flags |= SWP_NOMOVE;
  SetWindowPos(window, nullptr, corner.x, corner.y, frame.right - frame.left, frame.bottom - frame.top, flags);
}

GdiObject<HFONT> makeFont(int points, bool bold) {
  const int height = -MulDiv(points, screenDpi().y, 72);
  HFONT font = CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                           "MS Sans Serif");
  if (font == nullptr)
    throw RuntimeError("cannot make the window's font: " + lastErrorText());
  return GdiObject<HFONT>(font);
}

HICON programIcon(int size) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_ZARNVOTE), IMAGE_ICON,
                                       size, size, LR_SHARED));
}

HWND makeControl(HWND parent, const char* windowClass, const char* text, DWORD style, DWORD exStyle, int id,
                 int left, int top, int width, int height, HFONT font) {
  const RECT area = twipsRect(left, top, width, height);
  HWND control = CreateWindowExA(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, area.left, area.top,
                                 area.right - area.left, area.bottom - area.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                 nullptr);
  if (control == nullptr)
    throw RuntimeError(std::string("cannot make the control ") + windowClass + " " + std::to_string(id) + ": " +
                       lastErrorText());
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

HWND makeButton(HWND parent, const char* caption, int id, int left, int top, int width, int height, HFONT font,
                DWORD extraStyle) {
  return makeControl(parent, "BUTTON", caption, WS_TABSTOP | (extraStyle != 0 ? extraStyle : BS_PUSHBUTTON), 0,
                     id, left, top, width, height, font);
}

HWND makeLabel(HWND parent, const char* text, int id, int left, int top, int width, int height, HFONT font) {
  return makeControl(parent, "STATIC", text, SS_LEFT, 0, id, left, top, width, height, font);
}

HWND makeLineLabel(HWND parent, const char* text, int id, int left, int top, int width, int height, HFONT font) {
  return makeControl(parent, "STATIC", text, SS_LEFTNOWORDWRAP, 0, id, left, top, width, height, font);
}

namespace {

// A window's device context, released with its owner.
class WindowContext {
 public:
  explicit WindowContext(HWND window) : window_(window), context_(GetDC(window)) {}
  ~WindowContext() { ReleaseDC(window_, context_); }
  WindowContext(const WindowContext&) = delete;
  WindowContext& operator=(const WindowContext&) = delete;
  HDC get() const { return context_; }

 private:
  HWND window_;
  HDC context_;
};

// The room a control leaves its text, in pixels: a button keeps its edges free.
int textRoom(HWND control, bool button) {
  constexpr int kButtonPadding = 8;  // both edges together
  RECT inside{};
  GetClientRect(control, &inside);
  return inside.right - inside.left - (button ? kButtonPadding : 0);
}

BOOL CALLBACK fitText(HWND control, LPARAM context) {
  auto& fonts = *reinterpret_cast<std::vector<GdiObject<HFONT>>*>(context);
  char kind[16] = {};
  GetClassNameA(control, kind, sizeof kind);
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
  const bool button = isPushButton(control);
  const bool lineLabel = lstrcmpiA(kind, "STATIC") == 0 && (style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP;
  if (!button && !lineLabel)
    return TRUE;
  // Measured in the control's own font: a title may have a larger one than the window.
  auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  if (font == nullptr)
    return TRUE;
  std::string text = windowText(control);
  std::erase(text, '&');
  const WindowContext screen(control);
  const SelectedObject selected(screen.get(), font);
  SIZE size{};
  TEXTMETRICA metrics{};
  GetTextExtentPoint32A(screen.get(), text.c_str(), static_cast<int>(text.size()), &size);
  GetTextMetricsA(screen.get(), &metrics);
  const int room = textRoom(control, button);
  if (size.cx <= room || size.cx == 0)
    return TRUE;
  LOGFONTA narrow{};
  GetObjectA(font, sizeof narrow, &narrow);
  narrow.lfWidth = std::max<LONG>(1, metrics.tmAveCharWidth * room / size.cx);
  HFONT fitted = CreateFontIndirectA(&narrow);
  if (fitted == nullptr)
    return TRUE;  // the text stays cut off; the window works all the same
  fonts.emplace_back(fitted);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(fitted), FALSE);
  return TRUE;
}

}  // namespace

void fitTexts(HWND window, std::vector<GdiObject<HFONT>>& fonts) {
  EnumChildWindows(window, fitText, reinterpret_cast<LPARAM>(&fonts));
}

std::string windowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void setWindowTextIfChanged(HWND window, const std::string& text) {
  if (windowText(window) != text)
    SetWindowTextA(window, text.c_str());
}

bool isPushButton(HWND control) {
  char name[16] = {};
  if (control == nullptr || GetClassNameA(control, name, sizeof name) == 0 || lstrcmpiA(name, "BUTTON") != 0)
    return false;
  const auto kind = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE)) & BS_TYPEMASK;
  return kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON;
}

void registerWindowClass(const char* name, WNDPROC procedure) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.hIcon = programIcon(GetSystemMetrics(SM_CXICON));
  windowClass.hIconSm = programIcon(GetSystemMetrics(SM_CXSMICON));
  windowClass.lpszClassName = name;
  if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw RuntimeError(std::string("cannot register the window class ") + name + ": " + lastErrorText());
}

void MessageBoxNotices::notify(HWND owner, const std::string& text) {
  MessageBoxA(owner, text.c_str(), kNoticeTitle, MB_OK);
}

void shellOpen(HWND parent, const std::string& address) {
  ShellExecuteA(parent, "open", address.c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace win32ui
