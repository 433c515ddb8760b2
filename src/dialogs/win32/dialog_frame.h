// What the three small windows share: a fixed dialog without minimise and maximise buttons at its place
// on the screen, modeless, kept out of the taskbar, destroyed when it closes, and the port through which
// its logic shows notices and closes it.
//
// The layout is given in twips at the screen's resolution, which a dialog template (in dialog units of its
// font) cannot hold exactly, so the windows are made with CreateWindowEx; the keyboard handling a dialog
// template would bring comes from IsDialogMessage, which the program's message loop calls for them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/win32/win32_ui.h"
#include "dialogs/dialog_ports.h"

class DialogFrame {
 public:
  virtual ~DialogFrame();
  DialogFrame(const DialogFrame&) = delete;
  DialogFrame& operator=(const DialogFrame&) = delete;

  HWND window() const { return window_; }
  HWND control(int id) const { return GetDlgItem(window_, id); }
  // Whether the window still exists; it goes when it closes.
  bool open() const { return window_ != nullptr; }

  // Shows the window in front and makes it the active one.
  void present();
  // Closes the window as its logic would; nothing else runs.
  void destroy();

  // Runs while the window closes, whoever closes it; the window is gone afterwards.
  std::function<void(DialogFrame&)> onClosing;
  // Runs when the window becomes the active window.
  std::function<void(DialogFrame&)> onActivated;

 protected:
  // `owner` keeps the window out of the taskbar; it is a hidden window, so the dialog is free to go
  // behind the main window. Raises RuntimeError with Windows' reason when the window cannot be made.
  DialogFrame(const char* caption, HWND owner, win32ui::NoticePort& notices);

  // Sets the client size and the screen position of the window's top-left corner, in twips.
  void placeWindow(int left, int top, int clientWidth, int clientHeight);

  // The port handed to the dialog's logic.
  DialogWindowPort& port() { return port_; }
  HFONT font() const { return font_.get(); }

  // A control's notification or a key the dialog manager turned into a command: IDOK for Enter, IDCANCEL
  // for Escape and the close box.
  virtual void command(int id, int notification) = 0;
  // Messages a dialog handles beyond commands (painting, colours); returns whether it did.
  virtual bool handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // Narrows the font of the captions and one-line labels that would not fit; call once the controls are made.
  void fitTexts() { win32ui::fitTexts(window_, fittedFonts_); }

  // Enter without a default button: presses the focused push button, if any.
  void pressFocusedButton();

 private:
  class Port final : public DialogWindowPort {
   public:
    Port(DialogFrame& frame, win32ui::NoticePort& notices) : frame_(frame), notices_(notices) {}
    void showNotice(const std::string& text) override;
    void close() override;

   private:
    DialogFrame& frame_;
    win32ui::NoticePort& notices_;
  };

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  win32ui::GdiObject<HFONT> font_;
  std::vector<win32ui::GdiObject<HFONT>> fittedFonts_;
  Port port_;
  HWND window_ = nullptr;
  HWND focus_ = nullptr;
};
