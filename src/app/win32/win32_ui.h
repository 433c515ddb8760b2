// The Win32 helpers every window of the program uses: geometry in twips, owned GDI objects, the program's
// font and icon, the factory of the controls, window texts, and the notices.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace win32ui {

// --- Geometry. Windows and controls are laid out in twips (1/1440 inch), turned into pixels at the
// screen's resolution: 15 twips a pixel at 96 dots per inch. ---

inline constexpr int kTwipsPerInch = 1440;

inline int twipsToPixels(int twips, int dotsPerInch) {
  return (twips * dotsPerInch + kTwipsPerInch / 2) / kTwipsPerInch;
}

// The screen's resolution, dots per inch across and down.
POINT screenDpi();

// A rectangle given in twips as left, top, width and height, in pixels at the screen's resolution; the
// RECT holds left, top, right and bottom.
RECT twipsRect(int left, int top, int width, int height);

// Places a top-level window of `style` and `exStyle` so that its top-left corner is at (left, top) on the
// screen and its client area is `clientWidth` by `clientHeight`, all in twips. With `moveIt` false only
// the size changes (the window stays where Windows put it).
void placeWindow(HWND window, int left, int top, int clientWidth, int clientHeight, bool moveIt = true);

// --- Owned GDI objects and icons. ---

// A font, pen or brush that is deleted with its owner.
template <typename Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  ~GdiObject() { reset(); }
  GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  Handle get() const { return handle_; }

 private:
  void reset() {
    if (handle_ != nullptr)
      DeleteObject(handle_);
    handle_ = nullptr;
  }
  Handle handle_ = nullptr;
};

// Selects a GDI object into a device context for the scope and puts the previous one back.
class SelectedObject {
 public:
  SelectedObject(HDC context, HGDIOBJ object) : context_(context), previous_(SelectObject(context, object)) {}
  ~SelectedObject() { SelectObject(context_, previous_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC context_;
  HGDIOBJ previous_;
};

// The program's look: a small sans-serif face at `points` at the screen's resolution. Raises RuntimeError
// with Windows' reason when the font cannot be made.
GdiObject<HFONT> makeFont(int points, bool bold = false);

// Narrows the letters of every button caption and one-line label of `window` whose text would otherwise
// be cut off or wrapped (the layout was drawn for a slightly narrower font than some systems substitute);
// text that fits keeps its font. The narrowed fonts are kept in `fonts`, which must live as long as the
// controls.
void fitTexts(HWND window, std::vector<GdiObject<HFONT>>& fonts);

// The program's icon from the program file's resources, at `size` pixels square (shared; never deleted).
HICON programIcon(int size);

// --- Controls: each with an id (tests and the dialog manager find them by it), placed in twips and given
// the window's font. ---

HWND makeControl(HWND parent, const char* windowClass, const char* text, DWORD style, DWORD exStyle, int id,
                 int left, int top, int width, int height, HFONT font);
HWND makeButton(HWND parent, const char* caption, int id, int left, int top, int width, int height, HFONT font,
                DWORD extraStyle = 0);
// A label that wraps its text at word breaks.
HWND makeLabel(HWND parent, const char* text, int id, int left, int top, int width, int height, HFONT font);
// A label of one line, never wrapped.
HWND makeLineLabel(HWND parent, const char* text, int id, int left, int top, int width, int height, HFONT font);

std::string windowText(HWND window);
// Sets the text only when it differs, so that a refresh neither flickers nor moves the caret.
void setWindowTextIfChanged(HWND window, const std::string& text);

// Whether `control` is a push button (the Enter key presses a focused one).
bool isPushButton(HWND control);

// Registers a window class of the program's once; raises RuntimeError with Windows' reason on failure.
void registerWindowClass(const char* name, WNDPROC procedure);

// --- Notices. Every message box of the program goes through one port: the window shows a modal box,
// tests answer it themselves. ---

inline constexpr const char* kNoticeTitle = "Zarn - Vote";

class NoticePort {
 public:
  virtual ~NoticePort() = default;
  // A modal notice with an OK button only and the program's title, over `owner` (may be null); returns
  // when the operator has closed it. The timers keep ticking meanwhile: the box's own message loop hands
  // them their messages.
  virtual void notify(HWND owner, const std::string& text) = 0;
};

class MessageBoxNotices final : public NoticePort {
 public:
  void notify(HWND owner, const std::string& text) override;
};

// Opens `address` with the shell's "open" verb, shown normally, with `parent` as the owner of anything the
// shell shows; the outcome is not examined.
void shellOpen(HWND parent, const std::string& address);

}  // namespace win32ui
