#include "app/win32/win32_program.h"

#include <chrono>
#include <cstdlib>

#include "app/program_end.h"
#include "common/runtime_error.h"
#include "common/windows/last_error.h"

namespace {

constexpr char kOwnerClass[] = "ZarnVoteDialogOwner";

}  // namespace

Win32Program::Win32Program(const std::filesystem::path& programFolder, Win32Loop& loop, MemoryControl& memory,
                           const Clock& clock, const Win32Seams& seams)
    : seams_(seams),
      loop_(loop),
      timer1_(loop, [this] { run(&frmmain::Timer1_Timer); }),
      timer2_(loop, [this] { run(&frmmain::Timer2_Timer); }),
      core_(MainWindowPorts{*this, timer1_, timer2_, memory, globals_, programFolder, clock}),
      activationShot_(loop.newTimerId()),
      endShot_(loop.newTimerId()) {
  win32ui::registerWindowClass(kOwnerClass, DefWindowProcA);
  dialogOwner_ = CreateWindowExA(0, kOwnerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
  if (dialogOwner_ == nullptr)
    throw RuntimeError("cannot make the dialogs' owner window: " + lastErrorText());
  core_.Form_Load();
  refresh();
  frame_.onCommand = [this](int id) { command(id); };
  frame_.onCloseBox = [this] { mainClosing(); };
  frame_.onActivated = [this] { mainActivated(); };
  loop_.setMessageFilter([this](MSG& message) { return filterMessage(message); });
  // The game link pauses on this loop: the window shows what the tick did so far while it waits.
  loop_.setBeforePause([this] { refresh(); });
}

Win32Program::~Win32Program() {
  ending_ = true;
  loop_.cancel(activationShot_);
  loop_.cancel(endShot_);
  for (const std::uintptr_t id : laterShots_)
    loop_.cancel(id);
  loop_.setMessageFilter(nullptr);
  loop_.setBeforePause(nullptr);
  puntBan_.reset();
  chooser_.reset();
  about_.reset();
  frame_.destroy();
  DestroyWindow(dialogOwner_);
}

void Win32Program::show() {
  const bool first = !started_;
  started_ = true;
  last_ = Active::Main;
  ShowWindow(frame_.window(), SW_SHOWNORMAL);
  SetForegroundWindow(frame_.window());
  SetActiveWindow(frame_.window());
  // After the show has finished, so that the chooser a first run opens comes up over the main window.
  if (first)
    loop_.schedule(activationShot_, std::chrono::milliseconds(0), [this] { activate(); });
}

void Win32Program::refresh() {
  frame_.refresh(core_);
}

void Win32Program::run(void (frmmain::*handler)()) {
  (core_.*handler)();
  if (core_.unreadableSettings.empty())
    unreadableShown_.clear();
  refresh();
}

void Win32Program::activate() {
  if (ending_)
    return;
  ++activations_;
  run(&frmmain::Form_Activate);
}

void Win32Program::command(int id) {
  // Each control and menu item with the handler the core names after it.
  static constexpr struct {
    int id;
    void (frmmain::*handler)();
  } kHandlers[] = {
      {kCommand1, &frmmain::Command1_Click},         {kCommand2, &frmmain::Command2_Click},
      {kCommand3, &frmmain::Command3_Click},         {kCommand4, &frmmain::Command4_Click},
      {kMenuChooseGame, &frmmain::choosegame_Click}, {kMenuPuntBanPlayer, &frmmain::puntbanplayer_Click},
      {kMenuNextMap, &frmmain::nextmap_Click},       {kMenuExit, &frmmain::exit_Click},
      {kMenuOnlineHelp, &frmmain::onlinehelp_Click}, {kMenuAbout, &frmmain::about_Click},
  };
  for (const auto& control : kHandlers) {
    if (control.id == id) {
      run(control.handler);
      return;
    }
  }
}

void Win32Program::yield() {
  refresh();
  loop_.processEvents();
}

void Win32Program::MarkedNotices::notify(HWND owner, const std::string& text) {
  program_.last_ = Active::MessageBox;
  program_.seams_.notices.notify(owner, text);
  program_.noteActiveWindow();
}

void Win32Program::noteActiveWindow() {
  HWND active = GetActiveWindow();
  if (active == nullptr)
    return;  // another program has it; coming back from there is no return from a window of ours
  if (active == frame_.window())
    last_ = Active::Main;
  else if ((puntBanFrame() != nullptr && active == puntBan_->window()) ||
           (chooserFrame() != nullptr && active == chooser_->window()) ||
           (aboutFrame() != nullptr && active == about_->window()))
    last_ = Active::OwnDialog;
}

void Win32Program::showNotice(const std::string& text) {
  refresh();
  notices_.notify(frame_.visible() ? frame_.window() : nullptr, text);
}

void Win32Program::settingsUnreadable(const std::string& path, const std::string& reason) {
  const std::string text = "Cannot read " + path + ": " + reason;
  if (text == unreadableShown_)
    return;
  // Before the box opens: an activation that runs while it is open does not open another.
  unreadableShown_ = text;
  showNotice(text);
}

void Win32Program::showChooser() {
  if (chooserFrame() == nullptr)
    chooser_ = std::make_unique<ChooserFrame>(core_.settingsPath(), dialogOwner_, notices_, core_.ticks);
  present(*chooser_);
}

void Win32Program::showPuntBanDialog() {
  if (puntBanFrame() == nullptr)
    puntBan_ = std::make_unique<PuntBanFrame>(globals_, timer2_, dialogOwner_, notices_, core_.ticks);
  present(*puntBan_);
}

void Win32Program::showAbout() {
  if (aboutFrame() == nullptr)
    about_ = std::make_unique<AboutFrame>(seams_.system, dialogOwner_, notices_, core_.ticks);
  present(*about_);
}

void Win32Program::present(DialogFrame& dialog) {
  dialog.onClosing = [this](DialogFrame& closing) { dialogClosing(closing); };
  dialog.onActivated = [this](DialogFrame&) { last_ = Active::OwnDialog; };
  dialog.present();
}

void Win32Program::openWebPage(const std::string& address) {
  if (seams_.openUrl)
    seams_.openUrl(frame_.window(), address);
}

void Win32Program::runLater(int milliseconds, std::function<void()> task) {
  // On shots of its own, so that none outlives the window.
  const std::uintptr_t id = loop_.newTimerId();
  laterShots_.insert(id);
  loop_.schedule(id, std::chrono::milliseconds(milliseconds), [this, id, task = std::move(task)] {
    laterShots_.erase(id);
    if (ending_)
      return;
    task();
    refresh();
  });
}

void Win32Program::quit() {
  endProgram();
}

void Win32Program::endProgram() {
  ending_ = true;
  timer1_.halt();
  timer2_.halt();
  // Every window goes before the process ends. The dialogs' objects stay: a handler of one of them may be
  // what called this, further up the stack.
  for (DialogFrame* dialog :
       {static_cast<DialogFrame*>(puntBanFrame()), static_cast<DialogFrame*>(chooserFrame()),
        static_cast<DialogFrame*>(aboutFrame())}) {
    if (dialog != nullptr)
      dialog->destroy();
  }
  ShowWindow(frame_.window(), SW_HIDE);
  seams_.end.end(0);
  std::abort();  // never reached: an end does not return, but the compiler cannot see through the call
}

bool Win32Program::anyWindowOpen(const DialogFrame* except) const {
  if (frame_.visible())
    return true;
  for (const DialogFrame* dialog :
       {static_cast<const DialogFrame*>(puntBanFrame()), static_cast<const DialogFrame*>(chooserFrame()),
        static_cast<const DialogFrame*>(aboutFrame())}) {
    if (dialog != nullptr && dialog != except)
      return true;
  }
  return false;
}

void Win32Program::mainActivated() {
  if (!started_ || ending_)
    return;
  const bool returned = last_ == Active::OwnDialog;
  last_ = Active::Main;
  // From the loop, once the switch of windows is over: the sequence may open the chooser or a notice.
  if (returned)
    loop_.schedule(activationShot_, std::chrono::milliseconds(0), [this] { activate(); });
}

void Win32Program::mainClosing() {
  if (ending_)
    return;
  // The window is unloaded: its timers stop for good, and a tick suspended in a yield finishes unseen.
  timer1_.halt();
  timer2_.halt();
  endWhenNoWindowIsLeft();
}

void Win32Program::endWhenNoWindowIsLeft() {
  loop_.schedule(endShot_, std::chrono::milliseconds(0), [this] {
    if (!ending_ && !anyWindowOpen(nullptr))
      endProgram();
  });
}

void Win32Program::dialogClosing(DialogFrame& dialog) {
  if (ending_)
    return;
  if (!anyWindowOpen(&dialog)) {
    endWhenNoWindowIsLeft();
    return;
  }
  if (!frame_.visible() || GetActiveWindow() == frame_.window())
    return;
  // Windows hands the activation to the next window by itself; where it did not (no other window of ours
  // in front), the operator returns to the main window all the same.
  last_ = Active::OwnDialog;
  SetForegroundWindow(frame_.window());
  SetActiveWindow(frame_.window());
}

bool Win32Program::filterMessage(MSG& message) {
  // Tab, the access keys, Enter and Escape in the program's windows, as the dialog manager handles them.
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || message.hwnd == nullptr)
    return false;
  HWND root = GetAncestor(message.hwnd, GA_ROOT);
  const bool ours = root == frame_.window() || (puntBanFrame() != nullptr && root == puntBan_->window()) ||
                    (chooserFrame() != nullptr && root == chooser_->window()) ||
                    (aboutFrame() != nullptr && root == about_->window());
  return ours && IsDialogMessageA(root, &message);
}
