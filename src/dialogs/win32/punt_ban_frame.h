// The punt/ban dialog's window: a number box and the Punt, Ban and Cancel buttons over the dialog's logic.
#pragma once

#include "dialogs/punt_ban_dialog.h"
#include "dialogs/win32/dialog_frame.h"

class PuntBanFrame final : public DialogFrame {
 public:
  // Control ids, in tab order. None is IDOK: no button is the default one.
  enum Id : int { kCmdpunt = 101, kCmdban, kLabel1, kText1, kCommand1 };

  PuntBanFrame(Globals& globals, const TimerPort& timer2, HWND owner, win32ui::NoticePort& notices,
               TickNesting& ticks);

  Dialog& logic() { return logic_; }

 private:
  void command(int id, int notification) override;

  Dialog logic_;
};
