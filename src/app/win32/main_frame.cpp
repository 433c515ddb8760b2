#include "app/win32/main_frame.h"

#include <string>
#include <vector>

#include "app/main_window.h"
#include "common/runtime_error.h"
#include "common/windows/last_error.h"

using win32ui::makeButton;
using win32ui::makeControl;

namespace {

constexpr char kWindowClass[] = "ZarnVoteMain";
// Client area of the window, in twips.
constexpr int kClientWidth = 4140;
constexpr int kClientHeight = 6360;

}  // namespace

MainFrame::MainFrame() : font_(win32ui::makeFont(8)) {
  win32ui::registerWindowClass(kWindowClass, &MainFrame::procedure);
  window_ = CreateWindowExA(0, kWindowClass, kProgramTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                            GetModuleHandleA(nullptr), this);
  if (window_ == nullptr)
    throw RuntimeError("cannot make the main window: " + lastErrorText());
  makeMenus();
  makeControls();
  win32ui::placeWindow(window_, 0, 0, kClientWidth, kClientHeight, false);
}

MainFrame::~MainFrame() {
  destroy();
}

void MainFrame::destroy() {
  if (window_ == nullptr)
    return;
  HWND window = window_;
  window_ = nullptr;
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

void MainFrame::makeMenus() {
  namespace t = mainwindow_text;
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  HMENU help = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, kMenuChooseGame, t::kMenuChooseGame);
  AppendMenuA(file, MF_STRING, kMenuPuntBanPlayer, t::kMenuPuntBanPlayer);
  AppendMenuA(file, MF_STRING, kMenuNextMap, t::kMenuNextMap);
  AppendMenuA(file, MF_STRING, kMenuExit, t::kMenuExit);
  AppendMenuA(help, MF_STRING, kMenuOnlineHelp, t::kMenuOnlineHelp);
  AppendMenuA(help, MF_STRING, kMenuAbout, t::kMenuAbout);
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), t::kMenuFile);
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), t::kMenuHelp);
  // The window owns the menus from here on and destroys them with itself.
  if (!SetMenu(window_, bar)) {
    DestroyMenu(bar);
    throw RuntimeError("cannot give the main window its menus: " + lastErrorText());
  }
}

void MainFrame::makeControls() {
  namespace t = mainwindow_text;
  HFONT font = font_.get();
  // Made in the tab order: the dialog manager tabs through the controls in the order they were made.
  constexpr DWORD list = WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
  HWND list1 = makeControl(window_, "LISTBOX", "", list, WS_EX_CLIENTEDGE, kList1, 315, 255, 3225, 3150, font);
  makeControl(window_, "LISTBOX", "", list, WS_EX_CLIENTEDGE, kList2, 30, 255, 300, 3150, font);
  makeControl(window_, "LISTBOX", "", list, WS_EX_CLIENTEDGE, kList3, 3525, 255, 525, 3150, font);
  // No scroll bars; the box scrolls itself to its newest line (refresh).
  makeControl(window_, "EDIT", "", WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE,
              kText1, 45, 4050, 4035, 1215, font);
  makeButton(window_, t::kCommand1, kCommand1, 45, 5310, 1215, 495, font);
  makeButton(window_, t::kCommand2, kCommand2, 1440, 5295, 1215, 495, font);
  makeButton(window_, t::kCommand3, kCommand3, 2850, 5310, 1215, 495, font);
  constexpr DWORD box = WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL;
  makeControl(window_, "EDIT", t::kText2, box, WS_EX_CLIENTEDGE, kText2, 315, 3465, 3225, 285, font);
  makeControl(window_, "EDIT", t::kText3, box, WS_EX_CLIENTEDGE, kText3, 30, 3465, 300, 285, font);
  makeControl(window_, "EDIT", "0", box, WS_EX_CLIENTEDGE, kText4, 3525, 3465, 525, 285, font);
  makeButton(window_, kPauseService, kCommand4, 45, 5895, 4035, 375, font);
  win32ui::makeLineLabel(window_, t::kLabel1, kLabel1, 30, 15, 1395, 285, font);
  win32ui::makeLineLabel(window_, t::kLabel2, kLabel2, 3555, 15, 510, 270, font);
  win32ui::makeLineLabel(window_, t::kLabel3, kLabel3, 30, 3795, 375, 270, font);
  win32ui::fitTexts(window_, fittedFonts_);

  // Sixteen whole rows in the lists' height, the same in all three so that their rows line up.
  RECT inside{};
  GetClientRect(list1, &inside);
  rowHeight_ = (inside.bottom - inside.top) / kPlayerSlots;
  for (int id : {kList1, kList2, kList3})
    SendMessageA(control(id), LB_SETITEMHEIGHT, 0, MAKELPARAM(rowHeight_, 0));
}

void MainFrame::setRows(int id, const std::vector<std::string>& rows) {
  HWND list = control(id);
  const auto shown = static_cast<std::size_t>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const auto index = static_cast<WPARAM>(row);
    if (row < shown) {
      const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
      std::string text(static_cast<std::size_t>(length) + 1, '\0');
      text.resize(static_cast<std::size_t>(SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
      if (text == rows[row])
        continue;
      SendMessageA(list, LB_DELETESTRING, index, 0);
    }
    SendMessageA(list, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(rows[row].c_str()));
  }
  for (std::size_t row = shown; row > rows.size(); --row)
    SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(row - 1), 0);
  // A replaced row loses the selection; the operator's stays where it was.
  if (selected >= 0 && SendMessageA(list, LB_GETCURSEL, 0, 0) != selected)
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void MainFrame::refresh(const frmmain& core) {
  if (window_ == nullptr)
    return;
  setRows(kList1, core.List1);
  setRows(kList2, core.List2);
  setRows(kList3, core.List3);
  win32ui::setWindowTextIfChanged(control(kText4), core.Text4);
  HWND log = control(kText1);
  if (win32ui::windowText(log) != core.Text1) {
    SetWindowTextA(log, core.Text1.c_str());
    // The box has no scroll bars and shows six lines: the newest votes are the ones the operator watches.
    const LRESULT lines = SendMessageA(log, EM_GETLINECOUNT, 0, 0);
    SendMessageA(log, EM_LINESCROLL, 0, lines);
  }
  win32ui::setWindowTextIfChanged(control(kCommand4), core.Command4Caption);
}

LRESULT CALLBACK MainFrame::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* frame = reinterpret_cast<MainFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (frame == nullptr || frame->window_ == nullptr)
    return DefWindowProcA(window, message, wParam, lParam);
  return frame->handle(message, wParam, lParam);
}

LRESULT MainFrame::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int notification = HIWORD(wParam);
      // The three lists keep one row selected together, as one table.
      if ((id == kList1 || id == kList2 || id == kList3) && notification == LBN_SELCHANGE) {
        const LRESULT row = SendMessageA(control(id), LB_GETCURSEL, 0, 0);
        for (int other : {kList1, kList2, kList3})
          if (other != id)
            SendMessageA(control(other), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        return 0;
      }
      // Enter comes from the dialog manager as IDOK: it presses the focused button, and nothing else.
      if (id == IDOK && lParam == 0) {
        HWND focused = GetFocus();
        if (win32ui::isPushButton(focused) && GetParent(focused) == window_)
          SendMessageA(focused, BM_CLICK, 0, 0);
        return 0;
      }
      const bool menuItem = lParam == 0 && (notification == 0 || notification == 1);
      const bool button = lParam != 0 && notification == BN_CLICKED && id >= kCommand1 && id <= kCommand4;
      if ((menuItem || button) && onCommand)
        onCommand(id);
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        focus_ = GetFocus();
        break;
      }
      SetFocus(focus_ != nullptr && IsChild(window_, focus_) ? focus_ : control(kList1));
      if (onActivated)
        onActivated();
      return 0;
    case WM_CLOSE:
      ShowWindow(window_, SW_HIDE);
      if (onCloseBox)
        onCloseBox();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}
