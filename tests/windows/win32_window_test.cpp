// The program's windows on Windows, driven through their control ids: the layout in pixels from twips,
// every button and menu item reaching the core, one instance of each dialog, the activation on the first
// show and on returning from a dialog (not after a message box), the keys the dialog manager handles, the
// ends of the program, and the registry and file calls behind the About box.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/program_end.h"
#include "app/win32/win32_program.h"
#include "common/runtime_error.h"
#include "dialogs/win32/windows_system.h"
#include "support/dialog_doubles.h"
#include "support/fixed_clock.h"
#include "support/scripted_memory_control.h"
#include "support/temp_folder.h"

namespace {

// Settings of a game that is attached at once; the ticks are off unless a test sets them.
constexpr const char* kQuietSettings =
    "[General]\r\nFirst Run=False\r\nInterval=0\r\nInterval 2=0\r\n"
    "[All Games]\r\nGame Number=2\r\nGame 1=Alpha\r\nChat 1=&H1\r\nConsole 1=&H2\r\nPlayer Start 1=&H3\r\n"
    "Game 2=Bravo\r\nChat 2=&H11\r\nConsole 2=&H12\r\nPlayer Start 2=&H13\r\n";

struct ProgramEnded {
  int status;
};

class ThrowingEnd final : public ProgramEnd {
 public:
  [[noreturn]] void end(int status) override { throw ProgramEnded{status}; }
};

// Records every notice and returns at once, as an operator who presses OK straight away.
class RecordingNotices final : public win32ui::NoticePort {
 public:
  void notify(HWND, const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

RECT pixels(int left, int top, int width, int height) {
  return win32ui::twipsRect(left, top, width, height);
}

// A control's rectangle in its window's client area.
RECT placeOf(HWND control) {
  RECT area{};
  GetWindowRect(control, &area);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&area), 2);
  return area;
}

std::string describe(const RECT& area) {
  return std::to_string(area.left) + "," + std::to_string(area.top) + " " + std::to_string(area.right - area.left) +
         "x" + std::to_string(area.bottom - area.top);
}

struct ControlCase {
  int id;
  RECT twips;  // left, top, width, height
  const char* text;
};

// Each control at its place with its text; a null text is not compared.
void expectControls(HWND window, const std::vector<ControlCase>& controls) {
  for (const ControlCase& expected : controls) {
    HWND control = GetDlgItem(window, expected.id);
    ASSERT_NE(nullptr, control) << "control " << expected.id;
    const RECT want = pixels(expected.twips.left, expected.twips.top, expected.twips.right, expected.twips.bottom);
    EXPECT_EQ(describe(want), describe(placeOf(control))) << "control " << expected.id;
    if (expected.text != nullptr) {
      EXPECT_EQ(expected.text, win32ui::windowText(control)) << "control " << expected.id;
    }
  }
}

// Every button caption and one-line label shows its whole text in the font it is drawn with.
void expectTextsFit(HWND window) {
  EnumChildWindows(
      window,
      [](HWND control, LPARAM) {
        const auto style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
        char kind[16] = {};
        GetClassNameA(control, kind, sizeof kind);
        const bool button = win32ui::isPushButton(control);
        if (!button && !(lstrcmpiA(kind, "STATIC") == 0 && (style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP))
          return TRUE;
        std::string text = win32ui::windowText(control);
        std::erase(text, '&');
        HDC context = GetDC(control);
        HGDIOBJ previous = SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32A(context, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(context, previous);
        ReleaseDC(control, context);
        RECT inside{};
        GetClientRect(control, &inside);
        EXPECT_LE(size.cx, inside.right - (button ? 4 : 0)) << "\"" << text << "\" is cut off";
        return TRUE;
      },
      0);
}

// The ids of the controls that Tab visits, from the first.
std::vector<int> tabOrder(HWND window) {
  std::vector<int> ids;
  HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
  for (HWND control = first; control != nullptr;) {
    ids.push_back(GetDlgCtrlID(control));
    control = GetNextDlgTabItem(window, control, FALSE);
    if (control == first)
      break;
  }
  return ids;
}

// The shown windows of this thread with the title `caption`.
int visibleWindowsTitled(const std::string& caption) {
  std::pair<const std::string*, int> tally{&caption, 0};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND found, LPARAM counter) {
        auto* t = reinterpret_cast<std::pair<const std::string*, int>*>(counter);
        if (IsWindowVisible(found) && win32ui::windowText(found) == *t->first)
          ++t->second;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&tally));
  return tally.second;
}

void click(HWND control) {
  SendMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void start(const std::string& settings = kQuietSettings) {
    folder.write("settings.ini", settings);
    program = std::make_unique<Win32Program>(
        folder.path(), loop, link, clock,
        Win32Seams{notices, end, system, [this](HWND, const std::string& address) { opened.push_back(address); }});
    program->show();
    ASSERT_TRUE(pumpUntil([this] { return program->activations() == 1; })) << "no first activation";
  }

  // Hands the waiting messages to the windows until `done` holds, for at most five seconds.
  bool pumpUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (!done()) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline)
        return false;
      MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50)),
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      loop.processEvents();
    }
    return true;
  }
  // Hands every waiting message on once more (a message that would come does so within this).
  void settle() { loop.pause(0.2); }

  HWND main() { return program->frame().window(); }
  HWND mainControl(int id) { return program->frame().control(id); }
  int opens() const {
    return static_cast<int>(std::count_if(journal.entries.begin(), journal.entries.end(), [](const std::string& e) {
      return e.rfind("OpenGame ", 0) == 0;
    }));
  }
  // Presses a key in the focused control as the operator would, through the program's message loop.
  void pressKey(HWND window, WPARAM key) {
    SetFocus(window);
    PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageA(GetFocus(), WM_KEYUP, key, 0xC0000001);
    settle();
  }

  TempFolder folder;
  Win32Loop loop;
  Journal journal;
  ScriptedMemoryControl link{journal};
  FixedClock clock;
  RecordingNotices notices;
  ThrowingEnd end;
  Journal systemJournal;
  FakeSystem system{systemJournal};
  std::vector<std::string> opened;
  std::unique_ptr<Win32Program> program;
};

TEST_F(Win32WindowTest, TheMainWindowsControlsSitWhereTheLayoutPutsThem) {
  start();
  EXPECT_EQ("Zarn - Vote", win32ui::windowText(main()));
  EXPECT_NE(0u, GetClassLongPtrA(main(), GCLP_HICON)) << "no program icon";
  RECT client{};
  GetClientRect(main(), &client);
  EXPECT_EQ(describe(pixels(0, 0, 4140, 6360)), describe(client));
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(main(), GWL_STYLE));
  EXPECT_EQ(static_cast<DWORD>(WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
            style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

  expectControls(main(), {{kLabel1, {30, 15, 1395, 285}, "Player ID/Name:"},
                          {kLabel2, {3555, 15, 510, 270}, "Votes:"},
                          {kList2, {30, 255, 300, 3150}, nullptr},
                          {kList1, {315, 255, 3225, 3150}, nullptr},
                          {kList3, {3525, 255, 525, 3150}, nullptr},
                          {kText3, {30, 3465, 300, 285}, "##"},
                          {kText2, {315, 3465, 3225, 285}, "Map"},
                          {kText4, {3525, 3465, 525, 285}, "0"},
                          {kLabel3, {30, 3795, 375, 270}, "Log:"},
                          {kText1, {45, 4050, 4035, 1215}, ""},
                          {kCommand1, {45, 5310, 1215, 495}, "Clear Votes"},
                          {kCommand2, {1440, 5295, 1215, 495}, "Next Map"},
                          {kCommand3, {2850, 5310, 1215, 495}, "Punt/Ban Player"},
                          {kCommand4, {45, 5895, 4035, 375}, "Pause Service"}});
  for (int id : {kText1, kText2, kText3, kText4})
    EXPECT_NE(0, GetWindowLongPtrA(mainControl(id), GWL_STYLE) & ES_READONLY) << id;
  EXPECT_EQ(0, GetWindowLongPtrA(mainControl(kText1), GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL));
  EXPECT_EQ((std::vector<int>{kList1, kList2, kList3, kText1, kCommand1, kCommand2, kCommand3, kText2, kText3,
                              kText4, kCommand4}),
            tabOrder(main()));
  expectTextsFit(main());
}

TEST_F(Win32WindowTest, TheVoteTableShowsSixteenWholeRowsFromTheCore) {
  start();
  for (int id : {kList1, kList2, kList3}) {
    HWND list = mainControl(id);
    ASSERT_EQ(16, SendMessageA(list, LB_GETCOUNT, 0, 0)) << id;
    RECT inside{};
    GetClientRect(list, &inside);
    RECT last{};
    SendMessageA(list, LB_GETITEMRECT, 15, reinterpret_cast<LPARAM>(&last));
    EXPECT_LE(last.bottom, inside.bottom) << "row 15 of list " << id << " is cut off";
    EXPECT_EQ(0, SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    EXPECT_EQ(program->frame().rowHeight(), SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  }
  char row[8] = {};
  SendMessageA(mainControl(kList2), LB_GETTEXT, 15, reinterpret_cast<LPARAM>(row));
  EXPECT_STREQ("15", row);

  program->core().List1[3] = "Bob";
  program->core().List3[3] = "4";
  program->refresh();
  SendMessageA(mainControl(kList3), LB_GETTEXT, 3, reinterpret_cast<LPARAM>(row));
  EXPECT_STREQ("4", row);
  // Selecting a row in one list selects it in all three.
  SendMessageA(mainControl(kList1), LB_SETCURSEL, 3, 0);
  SendMessageA(main(), WM_COMMAND, MAKEWPARAM(kList1, LBN_SELCHANGE), reinterpret_cast<LPARAM>(mainControl(kList1)));
  EXPECT_EQ(3, SendMessageA(mainControl(kList3), LB_GETCURSEL, 0, 0));
  program->core().List3[3] = "5";
  program->refresh();
  EXPECT_EQ(3, SendMessageA(mainControl(kList3), LB_GETCURSEL, 0, 0)) << "a refresh lost the selection";
}

TEST_F(Win32WindowTest, TheLogShowsItsNewestLines) {
  start();
  std::string log;
  for (int line = 1; line <= 20; ++line)
    log += "Bob: /vote " + std::to_string(line) + "\r\n";
  program->core().Text1 = log;
  program->refresh();
  HWND box = mainControl(kText1);
  EXPECT_EQ(log, win32ui::windowText(box));
  const LRESULT first = SendMessageA(box, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first, 10) << "the box still shows its oldest lines";
}

TEST_F(Win32WindowTest, TheMenusHoldTheirItemsWithAccessKeys) {
  start();
  HMENU bar = GetMenu(main());
  ASSERT_NE(nullptr, bar);
  auto text = [](HMENU menu, UINT item, UINT by) {
    char buffer[64] = {};
    GetMenuStringA(menu, item, buffer, sizeof buffer, by);
    return std::string(buffer);
  };
  EXPECT_EQ("&Options", text(bar, 0, MF_BYPOSITION));
  EXPECT_EQ("&Help", text(bar, 1, MF_BYPOSITION));
  const std::vector<std::pair<int, const char*>> items{
      {kMenuChooseGame, "&Choose Game"}, {kMenuPuntBanPlayer, "&Punt/Ban a Player"}, {kMenuNextMap, "&Next Map"},
      {kMenuExit, "&Exit"},           {kMenuOnlineHelp, "O&nline Help"},          {kMenuAbout, "&About"}};
  for (const auto& [id, caption] : items)
    EXPECT_EQ(caption, text(bar, static_cast<UINT>(id), MF_BYCOMMAND)) << id;
  EXPECT_EQ(4, GetMenuItemCount(GetSubMenu(bar, 0)));
  EXPECT_EQ(2, GetMenuItemCount(GetSubMenu(bar, 1)));
}

// Each button and menu item, clicked as the operator would, reaches the core's handler.
TEST_F(Win32WindowTest, ButtonsAndMenuItemsReachTheCore) {
  start("[General]\r\nFirst Run=False\r\nInterval=0\r\nInterval 2=10000\r\n");
  program->core().List3[2] = "3";
  program->core().Text4 = "2";
  program->core().Text1 = "Bob: /vote 2\r\n";
  program->refresh();
  SendMessageA(mainControl(kCommand1), BM_CLICK, 0, 0);
  EXPECT_TRUE(program->globals().clearVotesRequested);
  char row[8] = {};
  SendMessageA(mainControl(kList3), LB_GETTEXT, 2, reinterpret_cast<LPARAM>(row));
  EXPECT_STREQ("0", row);
  EXPECT_EQ("0", win32ui::windowText(mainControl(kText4)));
  EXPECT_EQ("", win32ui::windowText(mainControl(kText1)));

  SendMessageA(main(), WM_COMMAND, MAKEWPARAM(kMenuNextMap, 0), 0);
  EXPECT_TRUE(program->globals().nextMapRequested);
  ASSERT_EQ(1u, notices.texts.size());
  EXPECT_EQ("Map will be reset on the next checking cycle.\r\n(under 10000m/s)\r\nMap votes reset", notices.texts[0]);

  click(mainControl(kCommand4));
  EXPECT_EQ("Start Service", win32ui::windowText(mainControl(kCommand4)));
  EXPECT_FALSE(program->timer1().enabled());
  click(mainControl(kCommand4));
  EXPECT_EQ("Pause Service", win32ui::windowText(mainControl(kCommand4)));
  EXPECT_TRUE(program->timer2().enabled());

  SendMessageA(main(), WM_COMMAND, MAKEWPARAM(kMenuOnlineHelp, 0), 0);
  EXPECT_EQ(std::vector<std::string>{kOnlineHelpAddress}, opened);
}

// Opening a dialog that is open already brings it to the front; there is never a second one.
TEST_F(Win32WindowTest, EachDialogOpensOnce) {
  start();
  const struct {
    int first;
    int second;
    const char* caption;
  } dialogs[] = {{kCommand3, kMenuPuntBanPlayer, "Punt Player"},
                 {kMenuChooseGame, kMenuChooseGame, "Dialog Caption"},
                 {kMenuAbout, kMenuAbout, "About"}};
  for (const auto& dialog : dialogs) {
    program->command(dialog.first);
    HWND window = FindWindowA(nullptr, dialog.caption);
    ASSERT_NE(nullptr, window) << dialog.caption;
    program->command(dialog.second);
    EXPECT_EQ(1, visibleWindowsTitled(dialog.caption)) << dialog.caption;
    EXPECT_EQ(window, FindWindowA(nullptr, dialog.caption));
  }
  ChooserFrame* chooser = program->chooserFrame();
  ASSERT_NE(nullptr, chooser);
  EXPECT_EQ(2, SendMessageA(chooser->control(ChooserFrame::kCombo1), CB_GETCOUNT, 0, 0))
      << "the chooser's list was built twice";
}

struct DialogLayout {
  const char* name;
  int menu;  // the main window's command that opens it
  const char* caption;
  RECT twips;  // the window's left and top on the screen, its client width and height
  std::vector<ControlCase> controls;
  std::vector<int> tabOrder;
};

class Win32DialogLayoutTest : public Win32WindowTest, public ::testing::WithParamInterface<DialogLayout> {};

// Fixed dialogs at their place, without minimise and maximise buttons, out of the taskbar, with their
// controls in their order.
TEST_P(Win32DialogLayoutTest, TheDialogSitsWhereTheLayoutPutsIt) {
  start();
  const DialogLayout& layout = GetParam();
  program->command(layout.menu);
  HWND window = FindWindowA(nullptr, layout.caption);
  ASSERT_NE(nullptr, window);
  RECT outer{};
  GetWindowRect(window, &outer);
  const RECT corner = pixels(layout.twips.left, layout.twips.top, 0, 0);
  EXPECT_EQ(corner.left, outer.left);
  EXPECT_EQ(corner.top, outer.top);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(describe(pixels(0, 0, layout.twips.right, layout.twips.bottom)), describe(client));
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
  EXPECT_EQ(0u, style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_NE(0u, style & WS_SYSMENU);
  // An owned window never shows in the taskbar; the owner is hidden, so the dialog is no child of main's.
  HWND owner = GetWindow(window, GW_OWNER);
  ASSERT_NE(nullptr, owner);
  EXPECT_NE(main(), owner);
  EXPECT_FALSE(IsWindowVisible(owner));
  EXPECT_EQ(0, GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  expectControls(window, layout.controls);
  EXPECT_EQ(layout.tabOrder, tabOrder(window));
  expectTextsFit(window);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, Win32DialogLayoutTest,
    ::testing::Values(
        DialogLayout{"PuntBan",
                     kCommand3,
                     "Punt Player",
                     {2760, 3750, 4365, 1515},
                     {{PuntBanFrame::kCmdpunt, {255, 960, 1215, 375}, "&Punt"},
                      {PuntBanFrame::kCmdban, {1575, 960, 1215, 375}, "&Ban"},
                      {PuntBanFrame::kLabel1, {322, 195, 3720, 255}, "Enter the number of the player you wish to punt/ban:"},
                      {PuntBanFrame::kText1, {1935, 555, 615, 285}, ""},
                      {PuntBanFrame::kCommand1, {2895, 960, 1215, 375}, "&Cancel"}},
                     {PuntBanFrame::kCmdpunt, PuntBanFrame::kCmdban, PuntBanFrame::kText1, PuntBanFrame::kCommand1}},
        DialogLayout{"Chooser",
                     kMenuChooseGame,
                     "Dialog Caption",
                     {2760, 3750, 5130, 945},
                     {{ChooserFrame::kOKButton, {2400, 480, 1215, 375}, "OK"},
                      {ChooserFrame::kCancelButton, {3720, 480, 1215, 375}, "Cancel"},
                      {ChooserFrame::kCombo1, {720, 90, 4275, 315}, "---[Choose Game]---"},
                      {ChooserFrame::kLabel1, {120, 120, 615, 255}, "Game:"},
                      {ChooserFrame::kList1, {720, 960, 1215, 1035}, nullptr},
                      {ChooserFrame::kList2, {2040, 960, 1215, 1035}, nullptr},
                      {ChooserFrame::kList3, {3360, 960, 1215, 1035}, nullptr}},
                     {ChooserFrame::kOKButton, ChooserFrame::kCancelButton, ChooserFrame::kCombo1}},
        DialogLayout{"About",
                     kMenuAbout,
                     "About",
                     {2340, 1935, 5730, 3555},
                     {{AboutFrame::kCmdOK, {4245, 2625, 1260, 345}, "OK"},
                      {AboutFrame::kCmdSysInfo, {4260, 3075, 1245, 345}, "&System Info..."},
                      {AboutFrame::kLblDescription, {1050, 1245, 3885, 450}, kAboutDescription},
                      {AboutFrame::kLblDisclaimer, {255, 2625, 3870, 825}, kAboutDisclaimer},
                      {AboutFrame::kLblTitle, {1050, 240, 3885, 480}, "Voting System"},
                      {AboutFrame::kLblVersion, {1050, 780, 3885, 225}, "Version 1.0.0"},
                      {AboutFrame::kLabel1, {1080, 1920, 3975, 375}, kAboutCredits},
                      {AboutFrame::kImage1, {210, 240, 480, 480}, nullptr}},
                     {AboutFrame::kCmdOK, AboutFrame::kCmdSysInfo}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Win32WindowTest, TheChoosersHiddenListsHoldTheAddresses) {
  start();
  program->command(kMenuChooseGame);
  ChooserFrame* chooser = program->chooserFrame();
  ASSERT_NE(nullptr, chooser);
  for (int id : {ChooserFrame::kList1, ChooserFrame::kList2, ChooserFrame::kList3}) {
    EXPECT_FALSE(IsWindowVisible(chooser->control(id))) << id;
    EXPECT_EQ(2, SendMessageA(chooser->control(id), LB_GETCOUNT, 0, 0)) << id;
  }
  EXPECT_EQ(CB_ERR, SendMessageA(chooser->control(ChooserFrame::kCombo1), CB_GETCURSEL, 0, 0));
}

// The activation runs on the first show and on each return from a dialog, and never after a notice.
TEST_F(Win32WindowTest, TheActivationRunsOnReturnFromADialogOnly) {
  start();
  EXPECT_EQ(1, opens());

  program->command(kMenuAbout);
  AboutFrame* about = program->aboutFrame();
  ASSERT_NE(nullptr, about);
  click(about->control(AboutFrame::kCmdOK));
  EXPECT_EQ(nullptr, program->aboutFrame());
  ASSERT_TRUE(pumpUntil([this] { return program->activations() == 2; })) << "no activation after the About box";
  EXPECT_EQ(2, opens());

  program->command(kCommand3);
  PuntBanFrame* dialog = program->puntBanFrame();
  ASSERT_NE(nullptr, dialog);
  click(dialog->control(PuntBanFrame::kCommand1));
  ASSERT_TRUE(pumpUntil([this] { return program->activations() == 3; })) << "no activation after the dialog";

  program->command(kMenuNextMap);  // a notice, answered at once
  settle();
  EXPECT_EQ(3, program->activations());

  // Another program takes the front and the operator comes back to the main window from it.
  SendMessageA(main(), WM_ACTIVATE, WA_INACTIVE, 0);
  SendMessageA(main(), WM_ACTIVATE, WA_CLICKACTIVE, 0);
  settle();
  EXPECT_EQ(3, program->activations());
  EXPECT_EQ(3, opens());
}

// A real message box: the main window's active again when it closes, and the ticks went on behind it.
TEST_F(Win32WindowTest, TicksGoOnBehindAMessageBoxAndItsClosingRunsNoActivation) {
  win32ui::MessageBoxNotices boxes;
  folder.write("settings.ini", "[General]\r\nFirst Run=False\r\nInterval=20\r\nInterval 2=0\r\n");
  program = std::make_unique<Win32Program>(folder.path(), loop, link, clock, Win32Seams{boxes, end, system, {}});
  program->show();
  ASSERT_TRUE(pumpUntil([this] { return program->activations() == 1; }));
  const int callsBefore = link.calls();
  int callsDuringBox = 0;
  // The operator reads the box for a while, then presses OK.
  std::function<void()> answer = [&] {
    HWND box = FindWindowA("#32770", "Zarn - Vote");
    if (box == nullptr || link.calls() < callsBefore + 6) {
      loop.runLater(std::chrono::milliseconds(20), answer);
      return;
    }
    callsDuringBox = link.calls() - callsBefore;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  };
  loop.runLater(std::chrono::milliseconds(20), answer);
  program->command(kMenuNextMap);
  EXPECT_GE(callsDuringBox, 6) << "the collection tick stopped behind the box";
  settle();
  EXPECT_EQ(1, program->activations());
}

TEST_F(Win32WindowTest, PuntingFromTheDialogRaisesTheRequestAndClosesIt) {
  start("[General]\r\nFirst Run=False\r\nInterval=0\r\nInterval 2=10000\r\n");
  program->command(kCommand3);
  PuntBanFrame* dialog = program->puntBanFrame();
  ASSERT_NE(nullptr, dialog);
  HWND text1 = dialog->control(PuntBanFrame::kText1);
  EXPECT_EQ(2, SendMessageA(text1, EM_GETLIMITTEXT, 0, 0));
  SetWindowTextA(text1, "ab");
  click(dialog->control(PuntBanFrame::kCmdpunt));
  ASSERT_EQ(std::vector<std::string>{kPuntBanFailedNotice}, notices.texts);
  ASSERT_EQ(dialog, program->puntBanFrame()) << "a failed entry closed the dialog";
  EXPECT_FALSE(program->globals().puntRequested);

  SetWindowTextA(text1, " 3");
  click(dialog->control(PuntBanFrame::kCmdban));
  EXPECT_TRUE(program->globals().banRequested);
  EXPECT_EQ(3, program->globals().banPlayerNumber);
  EXPECT_EQ("The player will be banned on the next checking cycle.\r\n(Under 10000m/s)", notices.texts.back());
  EXPECT_EQ(nullptr, program->puntBanFrame());
  EXPECT_TRUE(pumpUntil([this] { return program->activations() == 2; }));
}

struct KeyCase {
  const char* name;
  int menu;
  WPARAM key;
  bool closes;
};

class Win32DialogKeyTest : public Win32WindowTest, public ::testing::WithParamInterface<KeyCase> {};

// Escape presses the punt/ban dialog's Cancel and the About box's OK; Enter presses the About box's
// default OK; the chooser binds neither, and Enter in the punt/ban dialog's text box presses nothing.
TEST_P(Win32DialogKeyTest, KeysPressTheBoundButtonOnly) {
  start();
  program->command(GetParam().menu);
  HWND active = GetActiveWindow();
  ASSERT_NE(main(), active);
  HWND focus = GetParam().menu == kCommand3 ? GetDlgItem(active, PuntBanFrame::kText1) : GetDlgItem(active, IDOK);
  pressKey(focus != nullptr ? focus : GetNextDlgTabItem(active, nullptr, FALSE), GetParam().key);
  EXPECT_EQ(GetParam().closes, !IsWindow(active));
  EXPECT_TRUE(notices.texts.empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, Win32DialogKeyTest,
                         ::testing::Values(KeyCase{"PuntBanEscape", kCommand3, VK_ESCAPE, true},
                                           KeyCase{"PuntBanEnterInText", kCommand3, VK_RETURN, false},
                                           KeyCase{"AboutEscape", kMenuAbout, VK_ESCAPE, true},
                                           KeyCase{"AboutEnter", kMenuAbout, VK_RETURN, true},
                                           KeyCase{"ChooserEscape", kMenuChooseGame, VK_ESCAPE, false}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(Win32WindowTest, AGameChosenInTheChooserIsAttachedToOnReturn) {
  start("[General]\r\nInterval=0\r\nInterval 2=0\r\n[All Games]\r\nGame Number=2\r\nGame 1=Alpha\r\n"
        "Chat 1=&H1\r\nConsole 1=&H2\r\nPlayer Start 1=&H3\r\nGame 2=Bravo\r\nChat 2=&H11\r\nConsole 2=&H12\r\n"
        "Player Start 2=&H13\r\n");
  // First Run is true: the first activation opened the chooser and attached to nothing.
  ChooserFrame* chooser = program->chooserFrame();
  ASSERT_NE(nullptr, chooser);
  EXPECT_EQ(0, opens());
  HWND combo = chooser->control(ChooserFrame::kCombo1);
  SendMessageA(combo, CB_SETCURSEL, 1, 0);
  SendMessageA(chooser->window(), WM_COMMAND, MAKEWPARAM(ChooserFrame::kCombo1, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  click(chooser->control(ChooserFrame::kOKButton));
  EXPECT_EQ(nullptr, program->chooserFrame());
  ASSERT_TRUE(pumpUntil([this] { return opens() == 1; })) << "no attach after the chooser closed";
  EXPECT_EQ("OpenGame Bravo", journal.entries.back());
  EXPECT_EQ("&H13", program->core().playerStartAddress);
}

TEST_F(Win32WindowTest, SystemInfoStartsTheProgramTheRegistryNames) {
  start();
  system.addValue(kSysInfoPathKey, kSysInfoPathValue, textValue("C:\\msinfo32.exe"));
  program->command(kMenuAbout);
  AboutFrame* about = program->aboutFrame();
  ASSERT_NE(nullptr, about);
  click(about->control(AboutFrame::kCmdSysInfo));
  EXPECT_EQ("StartProgram C:\\msinfo32.exe", systemJournal.entries.back());
  EXPECT_NE(nullptr, program->aboutFrame()) << "the About box closed";
}

// Exit ends the program at once and takes every window with it.
TEST_F(Win32WindowTest, ExitClosesEveryWindow) {
  start();
  std::vector<HWND> windows{main()};
  for (int menu : {kCommand3, kMenuChooseGame, kMenuAbout}) {
    program->command(menu);
    windows.push_back(GetActiveWindow());
    ASSERT_NE(main(), windows.back());
  }
  PostMessageA(main(), WM_COMMAND, MAKEWPARAM(kMenuExit, 0), 0);
  try {
    pumpUntil([] { return false; });
    FAIL() << "Exit returned";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(0, ended.status);
  }
  for (HWND window : windows)
    EXPECT_FALSE(IsWindow(window) && IsWindowVisible(window));
}

// The close box hides the main window and stops its timers; the program ends with its last window.
TEST_F(Win32WindowTest, TheProgramEndsWhenItsLastWindowCloses) {
  start("[General]\r\nFirst Run=False\r\nInterval=20\r\nInterval 2=0\r\n");
  program->command(kMenuAbout);
  HWND about = FindWindowA(nullptr, "About");
  ASSERT_NE(nullptr, about);
  SendMessageA(main(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(main()));
  ASSERT_TRUE(IsWindowVisible(about)) << "the program ended with a dialog open";
  const int calls = link.calls();
  settle();
  EXPECT_EQ(calls, link.calls()) << "the collection tick runs on with its window closed";
  SendMessageA(about, WM_CLOSE, 0, 0);
  EXPECT_THROW(pumpUntil([] { return false; }), ProgramEnded);
}

// The registry and the file system as the About box's launcher sees them on Windows.
TEST(WindowsSystemTest, ReadsTheRegistryAndFindsFiles) {
  constexpr const char* kKey = "Software\\ZarnVoteTest";
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                           nullptr));
  const char path[] = "C:\\Tools";
  RegSetValueExA(key, "WithZero", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path);
  RegSetValueExA(key, "WithoutZero", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path - 1);
  const DWORD number = 0x12AB;
  RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegCloseKey(key);

  WindowsSystem windows;
  TickNesting ticks;
  Journal journal;
  RecordingDialogWindow window(journal);
  frmAbout about(windows, window, ticks);
  std::string value;
  for (const char* name : {"WithZero", "WithoutZero"}) {
    EXPECT_TRUE(about.GetKeyValue(RegistryRoot::CurrentUser, kKey, name, value)) << name;
    EXPECT_EQ("C:\\Tools", value) << name;
  }
  // Stored AB 12 00 00: the last byte is zero, so it is dropped as if it ended a text.
  EXPECT_TRUE(about.GetKeyValue(RegistryRoot::CurrentUser, kKey, "Number", value));
  EXPECT_EQ("&h0012AB", value);
  EXPECT_FALSE(about.GetKeyValue(RegistryRoot::CurrentUser, kKey, "Missing", value));
  EXPECT_FALSE(about.GetKeyValue(RegistryRoot::CurrentUser, "Software\\ZarnVoteMissing", "Any", value));
  RegDeleteKeyA(HKEY_CURRENT_USER, kKey);

  TempFolder folder;
  folder.write("MSINFO32.EXE", "");
  EXPECT_TRUE(windows.fileExists((folder / "MSINFO32.EXE").string()));
  EXPECT_FALSE(windows.fileExists((folder / "MISSING.EXE").string()));
  EXPECT_FALSE(windows.fileExists(folder.path().string())) << "a folder counts as a file";
  try {
    windows.startProgram((folder / "MISSING.EXE").string());
    FAIL() << "a missing program started";
  } catch (const RuntimeError& error) {
    EXPECT_NE(std::string::npos, std::string(error.what()).find("(error ")) << error.what();
  }
}

}  // namespace
