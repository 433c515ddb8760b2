// The main window on screen: the vote table, the map row, the vote log, the four buttons and the two menus
// at their places. It holds no state of the service; refresh() shows the core's.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/win32/win32_ui.h"

class frmmain;

// The ids of the main window's controls and menu items: WM_COMMAND carries them, GetDlgItem finds the
// controls by them.
enum MainControlId : int {
  kList1 = 101,
  kList2,
  kList3,
  kText1,
  kCommand1,
  kCommand2,
  kCommand3,
  kText2,
  kText3,
  kText4,
  kCommand4,
  kLabel1,
  kLabel2,
  kLabel3,
  kMenuChooseGame = 201,
  kMenuPuntBanPlayer,
  kMenuNextMap,
  kMenuExit,
  kMenuOnlineHelp,
  kMenuAbout,
};

class MainFrame final {
 public:
  // Makes the window, hidden; raises RuntimeError with Windows' reason when it cannot.
  MainFrame();
  ~MainFrame();
  MainFrame(const MainFrame&) = delete;
  MainFrame& operator=(const MainFrame&) = delete;

  HWND window() const { return window_; }
  HWND control(int id) const { return GetDlgItem(window_, id); }
  // Whether the window still exists and is shown.
  bool visible() const { return window_ != nullptr && IsWindowVisible(window_); }

  // Shows the core's vote table, map count, vote log and the caption of Command4, changing only what
  // differs from what is shown.
  void refresh(const frmmain& core);

  // Destroys the window (the program ends or the window was closed).
  void destroy();

  // A button was clicked or a menu item chosen: the control's or item's id.
  std::function<void(int id)> onCommand;
  // The operator closed the window with its close box; the window is hidden already.
  std::function<void()> onCloseBox;
  // The window became the active window.
  std::function<void()> onActivated;

  // The height in pixels of a row of the vote table: sixteen whole rows fill the lists.
  int rowHeight() const { return rowHeight_; }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void makeMenus();
  void makeControls();
  void setRows(int id, const std::vector<std::string>& rows);

  win32ui::GdiObject<HFONT> font_;
  std::vector<win32ui::GdiObject<HFONT>> fittedFonts_;
  HWND window_ = nullptr;
  int rowHeight_ = 0;
  // The control that had the focus when the window was last left, to be given it back.
  HWND focus_ = nullptr;
};
