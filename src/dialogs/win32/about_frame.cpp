#include "dialogs/win32/about_frame.h"

using win32ui::makeButton;
using win32ui::makeLabel;

AboutFrame::AboutFrame(SystemPort& system, HWND owner, win32ui::NoticePort& notices, TickNesting& ticks)
    : DialogFrame(kAboutCaption, owner, notices), titleFont_(win32ui::makeFont(14, true)),
      logic_(system, port(), ticks) {
  placeWindow(2340, 1935, 5730, 3555);
  logic_.Form_Load();

  HWND dialog = window();
  makeButton(dialog, kAboutOkCaption, kCmdOK, 4245, 2625, 1260, 345, font(), BS_DEFPUSHBUTTON);
  makeButton(dialog, kAboutSysInfoCaption, kCmdSysInfo, 4260, 3075, 1245, 345, font());
  makeLabel(dialog, kAboutDescription, kLblDescription, 1050, 1245, 3885, 450, font());
  makeLabel(dialog, kAboutDisclaimer, kLblDisclaimer, 255, 2625, 3870, 825, font());
  HWND title = win32ui::makeLineLabel(dialog, kAboutTitle, kLblTitle, 1050, 240, 3885, 480, font());
  SendMessageA(title, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.get()), FALSE);
  win32ui::makeLineLabel(dialog, logic_.lblVersion.c_str(), kLblVersion, 1050, 780, 3885, 225, font());
  makeLabel(dialog, kAboutCredits, kLabel1, 1080, 1920, 3975, 375, font());
  HWND image = win32ui::makeControl(dialog, "STATIC", "", SS_ICON | SS_CENTERIMAGE, 0, kImage1, 210, 240, 480,
                                    480, font());
  const RECT imageArea = win32ui::twipsRect(210, 240, 480, 480);
  SendMessageA(image, STM_SETICON, reinterpret_cast<WPARAM>(win32ui::programIcon(imageArea.right - imageArea.left)),
               0);
  // STM_SETICON sizes the control to the icon: put it back where the layout has it.
  SetWindowPos(image, nullptr, imageArea.left, imageArea.top, imageArea.right - imageArea.left,
               imageArea.bottom - imageArea.top, SWP_NOZORDER | SWP_NOACTIVATE);
  fitTexts();
}

void AboutFrame::command(int id, int notification) {
  if (notification != BN_CLICKED)
    return;
  if (id == kCmdOK || id == IDCANCEL)
    logic_.cmdOK_Click();
  else if (id == kCmdSysInfo)
    logic_.cmdSysInfo_Click();
}

bool AboutFrame::handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_CTLCOLORSTATIC) {
    auto context = reinterpret_cast<HDC>(wParam);
    const bool credits = reinterpret_cast<HWND>(lParam) == control(kLabel1);
    // The credits in red (&H000000FF&), the other texts black, all on the dialog's face.
    SetTextColor(context, credits ? RGB(0xFF, 0, 0) : RGB(0, 0, 0));
    SetBkColor(context, GetSysColor(COLOR_BTNFACE));
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
  }
  if (message == WM_PAINT) {
    paintSeparator();
    result = 0;
    return true;
  }
  return false;
}

void AboutFrame::paintSeparator() {
  PAINTSTRUCT paint;
  HDC context = BeginPaint(window(), &paint);
  // Line1(1): grey, 1 wide, from (90, 2445); Line1(0): white, 2 wide, from (105, 2460); both to x 5654, in
  // twips. Together they look cut into the dialog.
  const RECT grey = win32ui::twipsRect(90, 2445, 5654 - 90, 0);
  const RECT white = win32ui::twipsRect(105, 2460, 5654 - 105, 0);
  const win32ui::GdiObject<HPEN> greyPen(CreatePen(PS_INSIDEFRAME, 1, RGB(0x80, 0x80, 0x80)));
  const win32ui::GdiObject<HPEN> whitePen(CreatePen(PS_SOLID, 2, RGB(0xFF, 0xFF, 0xFF)));
  {
    const win32ui::SelectedObject selected(context, greyPen.get());
    MoveToEx(context, grey.left, grey.top, nullptr);
    LineTo(context, grey.right, grey.top);
  }
  {
    const win32ui::SelectedObject selected(context, whitePen.get());
    MoveToEx(context, white.left, white.top + 1, nullptr);
    LineTo(context, white.right, white.top + 1);
  }
  EndPaint(window(), &paint);
}
