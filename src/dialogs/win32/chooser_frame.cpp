#include "dialogs/win32/chooser_frame.h"

#include <string>
#include <vector>

using win32ui::makeButton;
using win32ui::makeControl;

namespace {

// The drop-down part of the combo box, below its text field: room for this many items before it scrolls.
constexpr int kDropDownItems = 8;

void addItems(HWND control, UINT message, const std::vector<std::string>& items) {
  for (const std::string& item : items)
    SendMessageA(control, message, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

}  // namespace

ChooserFrame::ChooserFrame(const std::filesystem::path& settingsPath, HWND owner, win32ui::NoticePort& notices,
                           TickNesting& ticks)
    : DialogFrame(kChooserCaption, owner, notices), logic_(settingsPath, port(), ticks) {
  placeWindow(2760, 3750, 5130, 945);
  logic_.Form_Load();

  HWND dialog = window();
  makeButton(dialog, kChooserOkCaption, kOKButton, 2400, 480, 1215, 375, font());
  makeButton(dialog, kChooserCancelCaption, kCancelButton, 3720, 480, 1215, 375, font());
  // A combo box's height is that of its text field and its drop-down list together; the field's own height
  // comes from CB_SETITEMHEIGHT below.
  HWND combo = makeControl(dialog, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0,
                           kCombo1, 720, 90, 4275, 315 * (kDropDownItems + 1), font());
  // The field is its item height and a border whose width the combo box's style decides: measured with
  // a trial height, then the item height set to what leaves the field its height in the layout.
  const RECT field = win32ui::twipsRect(720, 90, 4275, 315);
  auto fieldHeight = [combo] {
    RECT outer{};
    GetWindowRect(combo, &outer);
    return outer.bottom - outer.top;
  };
  constexpr LPARAM kTrial = 10;
  SendMessageA(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kTrial);
  const LPARAM border = fieldHeight() - kTrial;
  SendMessageA(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), (field.bottom - field.top) - border);
  addItems(combo, CB_ADDSTRING, logic_.Combo1Items);
  SetWindowTextA(combo, logic_.Combo1Text.c_str());
  win32ui::makeLineLabel(dialog, kChooserLabel, kLabel1, 120, 120, 615, 255, font());
  // Hidden, below the client area: they only hold the addresses.
  addItems(makeControl(dialog, "LISTBOX", "", LBS_NOINTEGRALHEIGHT, 0, kList1, 720, 960, 1215, 1035, font()), LB_ADDSTRING,
           logic_.List1);
  addItems(makeControl(dialog, "LISTBOX", "", LBS_NOINTEGRALHEIGHT, 0, kList2, 2040, 960, 1215, 1035, font()), LB_ADDSTRING,
           logic_.List2);
  addItems(makeControl(dialog, "LISTBOX", "", LBS_NOINTEGRALHEIGHT, 0, kList3, 3360, 960, 1215, 1035, font()), LB_ADDSTRING,
           logic_.List3);
  for (int id : {kList1, kList2, kList3})
    ShowWindow(control(id), SW_HIDE);
  fitTexts();
}

void ChooserFrame::command(int id, int notification) {
  switch (id) {
    case kCombo1:
      // A picked item is known by its position; the text field shows it only after this notification.
      if (notification == CBN_SELCHANGE)
        logic_.setCombo1ListIndex(static_cast<int>(SendMessageA(control(kCombo1), CB_GETCURSEL, 0, 0)));
      else if (notification == CBN_EDITCHANGE)
        logic_.setCombo1Text(win32ui::windowText(control(kCombo1)));
      break;
    case kOKButton:
      if (notification == BN_CLICKED)
        logic_.OKButton_Click();
      break;
    case kCancelButton:
      if (notification == BN_CLICKED)
        logic_.CancelButton_Click();
      break;
    case IDOK:  // Enter: OK is no default button, so only a focused button is pressed
      pressFocusedButton();
      break;
    default:  // IDCANCEL: Escape closes nothing here
      break;
  }
}
