// The game version chooser's window: the editable drop-down list of games, OK and Cancel, and the three
// hidden lists of addresses, over the chooser's logic.
#pragma once

#include <filesystem>

#include "dialogs/game_chooser.h"
#include "dialogs/win32/dialog_frame.h"

class ChooserFrame final : public DialogFrame {
 public:
  // Control ids, in tab order. OK is no default button and Cancel is not bound to Escape, so neither is
  // IDOK or IDCANCEL.
  enum Id : int { kOKButton = 101, kCancelButton, kCombo1, kLabel1, kList1, kList2, kList3 };

  ChooserFrame(const std::filesystem::path& settingsPath, HWND owner, win32ui::NoticePort& notices,
               TickNesting& ticks);

  frmchoosegame& logic() { return logic_; }

 private:
  void command(int id, int notification) override;

  frmchoosegame logic_;
};
