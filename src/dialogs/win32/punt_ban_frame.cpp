#include "dialogs/win32/punt_ban_frame.h"

using win32ui::makeButton;

PuntBanFrame::PuntBanFrame(Globals& globals, const TimerPort& timer2, HWND owner, win32ui::NoticePort& notices,
                           TickNesting& ticks)
    : DialogFrame(kPuntBanCaption, owner, notices), logic_(globals, timer2, port(), ticks) {
  placeWindow(2760, 3750, 4365, 1515);
  HWND dialog = window();
  makeButton(dialog, kPuntButtonCaption, kCmdpunt, 255, 960, 1215, 375, font());
  makeButton(dialog, kBanButtonCaption, kCmdban, 1575, 960, 1215, 375, font());
  win32ui::makeLineLabel(dialog, kPuntBanPrompt, kLabel1, 322, 195, 3720, 255, font());
  HWND text1 = win32ui::makeControl(dialog, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kText1,
                                    1935, 555, 615, 285, font());
  SendMessageA(text1, EM_LIMITTEXT, kText1MaxLength, 0);
  makeButton(dialog, kPuntBanCancelCaption, kCommand1, 2895, 960, 1215, 375, font());
  fitTexts();
}

void PuntBanFrame::command(int id, int notification) {
  switch (id) {
    case kText1:
      if (notification == EN_CHANGE)
        logic_.Text1 = win32ui::windowText(control(kText1));
      break;
    case kCmdpunt:
      if (notification == BN_CLICKED)
        logic_.cmdpunt_Click();
      break;
    case kCmdban:
      if (notification == BN_CLICKED)
        logic_.cmdban_Click();
      break;
    case kCommand1:
    case IDCANCEL:  // Escape: Command1 is the cancel button
      if (notification == BN_CLICKED)
        logic_.Command1_Click();
      break;
    case IDOK:  // Enter: no default button, so only a focused button is pressed
      pressFocusedButton();
      break;
    default:
      break;
  }
}
