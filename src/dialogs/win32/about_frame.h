// The About box's window: title, version, description, disclaimer, credits, the program icon, an etched
// separator, OK and System Info, over the About box's logic.
#pragma once

#include "dialogs/about_box.h"
#include "dialogs/win32/dialog_frame.h"

class AboutFrame final : public DialogFrame {
 public:
  // Control ids, in tab order, then the ones that take no focus. OK is IDOK, the default button; Escape
  // (IDCANCEL) presses it too.
  enum Id : int {
    kCmdOK = IDOK,
    kCmdSysInfo = 101,
    kLblDescription,
    kLblDisclaimer,
    kLblTitle,
    kLblVersion,
    kLabel1,
    kImage1,
  };

  AboutFrame(SystemPort& system, HWND owner, win32ui::NoticePort& notices, TickNesting& ticks);

  frmAbout& logic() { return logic_; }

 private:
  void command(int id, int notification) override;
  bool handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void paintSeparator();

  win32ui::GdiObject<HFONT> titleFont_;
  frmAbout logic_;
};
