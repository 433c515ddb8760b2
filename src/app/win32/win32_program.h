// The program with its window on Windows: the core's main window shown by MainFrame, its timers on the
// Win32 loop, its notices in message boxes, its dialogs as modeless windows, and the activation sequence
// run when the main window becomes the program's active window again.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "app/globals.h"
#include "app/host.h"
#include "app/main_window.h"
#include "app/win32/main_frame.h"
#include "app/win32/win32_loop.h"
#include "app/win32/win32_ui.h"
#include "dialogs/win32/about_frame.h"
#include "dialogs/win32/chooser_frame.h"
#include "dialogs/win32/punt_ban_frame.h"

class ProgramEnd;
class SystemPort;
class MemoryControl;

// Everything the program reaches beyond its own windows; tests put their own in.
struct Win32Seams {
  win32ui::NoticePort& notices;
  ProgramEnd& end;
  SystemPort& system;
  // Opens a web address; the main window is the parent of anything it shows (win32ui::shellOpen).
  std::function<void(HWND parent, const std::string& address)> openUrl;
};

class Win32Program final : public HostPort {
 public:
  // Makes the main window, hidden, with its vote table loaded; raises RuntimeError with Windows' reason
  // when a window cannot be made.
  Win32Program(const std::filesystem::path& programFolder, Win32Loop& loop, MemoryControl& memory,
               const Clock& clock, const Win32Seams& seams);
  ~Win32Program() override;
  Win32Program(const Win32Program&) = delete;
  Win32Program& operator=(const Win32Program&) = delete;

  // Shows the main window; its first showing runs the activation sequence.
  void show();

  // Shows the core's latest state in the main window.
  void refresh();

  // HostPort
  void yield() override;
  void showNotice(const std::string& text) override;
  // A notice, once for each text until the file reads again: the operator returns to the main window
  // from every dialog, and each return runs the activation anew.
  void settingsUnreadable(const std::string& path, const std::string& reason) override;
  void showChooser() override;
  void showPuntBanDialog() override;
  void showAbout() override;
  void openWebPage(const std::string& address) override;
  void runLater(int milliseconds, std::function<void()> task) override;
  [[noreturn]] void quit() override;

  // Runs what a button or a menu item of the main window does, by its id (MainControlId).
  void command(int id);

  frmmain& core() { return core_; }
  MainFrame& frame() { return frame_; }
  Globals& globals() { return globals_; }
  Win32Timer& timer1() { return timer1_; }
  Win32Timer& timer2() { return timer2_; }
  // The open dialogs; null when closed.
  PuntBanFrame* puntBanFrame() const { return openOrNull(puntBan_); }
  ChooserFrame* chooserFrame() const { return openOrNull(chooser_); }
  AboutFrame* aboutFrame() const { return openOrNull(about_); }
  // How many times the activation sequence ran.
  int activations() const { return activations_; }

 private:
  // Which of the program's windows was active last: the activation runs when the main window becomes
  // active after one of the dialogs was. A message box is none of the program's own windows, and neither
  // is another program, so returning from either runs nothing.
  enum class Active { None, Main, OwnDialog, MessageBox };

  // The notices of the program and its dialogs: each marks a message box as the active window first.
  class MarkedNotices final : public win32ui::NoticePort {
   public:
    explicit MarkedNotices(Win32Program& program) : program_(program) {}
    void notify(HWND owner, const std::string& text) override;

   private:
    Win32Program& program_;
  };

  template <typename Frame>
  static Frame* openOrNull(const std::unique_ptr<Frame>& frame) {
    return frame != nullptr && frame->open() ? frame.get() : nullptr;
  }
  // Runs one of the core's handlers, then shows what it changed.
  void run(void (frmmain::*handler)());
  void activate();
  void mainActivated();
  // Whether the program's windows are all closed, from the loop once the closing handler has returned: a
  // dialog's logic goes on after it closed its window, and the end is never raised inside a callback that
  // Windows makes from a window function (it would not reach the loop).
  void endWhenNoWindowIsLeft();
  // The active window after a notice closed: the one Windows handed the activation back to.
  void noteActiveWindow();
  void mainClosing();
  // Gives a dialog its closing and activation behaviour and shows it in front.
  void present(DialogFrame& dialog);
  void dialogClosing(DialogFrame& dialog);
  bool anyWindowOpen(const DialogFrame* except) const;
  bool filterMessage(MSG& message);
  [[noreturn]] void endProgram();

  Win32Seams seams_;
  MarkedNotices notices_{*this};
  Win32Loop& loop_;
  Globals globals_;
  Win32Timer timer1_;
  Win32Timer timer2_;
  frmmain core_;
  MainFrame frame_;
  // The hidden owner of the dialogs, which keeps them out of the taskbar.
  HWND dialogOwner_ = nullptr;
  std::unique_ptr<PuntBanFrame> puntBan_;
  std::unique_ptr<ChooserFrame> chooser_;
  std::unique_ptr<AboutFrame> about_;
  // The loop's single shots for the activation and for the end check; cancelled with the program.
  std::uintptr_t activationShot_;
  std::uintptr_t endShot_;
  // The shots of the tasks run later that have not fired yet.
  std::set<std::uintptr_t> laterShots_;
  Active last_ = Active::None;
  bool started_ = false;
  int activations_ = 0;
  // The notice about an unreadable settings file that the operator has seen.
  std::string unreadableShown_;
  bool ending_ = false;
};
