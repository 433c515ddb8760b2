#include "app/qt/gui_program.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <iostream>

#include "app/program_end.h"
#include "app/qt/qt_utils.h"
#include "dialogs/qt/about_window.h"
#include "dialogs/qt/chooser_window.h"
#include "dialogs/qt/punt_ban_window.h"

GuiProgram::GuiProgram(const std::filesystem::path& programFolder, MemoryControl& memory, const Clock& clock,
                       const GuiSeams& seams)
    : seams_(seams),
      timer1_([this] { run(&frmmain::Timer1_Timer); }),
      timer2_([this] { run(&frmmain::Timer2_Timer); }),
      remote_([this](const RemoteRequest& request) { return answerRemote(request); }, std::cerr),
      core_(MainWindowPorts{*this, timer1_, timer2_, memory, globals_, programFolder, clock, &remote_}),
      watch_(form_, [this] { run(&frmmain::Form_Activate); }) {
  core_.Form_Load();
  refresh();
  connectControls();
  form_.onCloseBox = [this] { mainClosing(); };
}

GuiProgram::~GuiProgram() {
  ending_ = true;
  for (QWidget* dialog :
       {static_cast<QWidget*>(puntBan_), static_cast<QWidget*>(chooser_), static_cast<QWidget*>(about_)}) {
    delete dialog;
  }
}

void GuiProgram::show() {
  form_.show();
  form_.activateWindow();
}

void GuiProgram::refresh() {
  form_.refresh(core_);
}

void GuiProgram::run(void (frmmain::*handler)()) {
  (core_.*handler)();
  if (core_.unreadableSettings.empty())
    unreadableShown_.clear();
  refresh();
}

RemoteReply GuiProgram::answerRemote(const RemoteRequest& request) {
  RemoteReply reply = core_.remoteConsole->handle(request);
  if (core_.unreadableSettings.empty())
    unreadableShown_.clear();
  refresh();
  return reply;
}

void GuiProgram::connectControls() {
  QObject::connect(form_.Command1, &QPushButton::clicked, &form_, [this] { run(&frmmain::Command1_Click); });
  QObject::connect(form_.Command2, &QPushButton::clicked, &form_, [this] { run(&frmmain::Command2_Click); });
  QObject::connect(form_.Command3, &QPushButton::clicked, &form_, [this] { run(&frmmain::Command3_Click); });
  QObject::connect(form_.Command4, &QPushButton::clicked, &form_, [this] { run(&frmmain::Command4_Click); });
  QObject::connect(form_.choosegame, &QAction::triggered, &form_,
                   [this] { run(&frmmain::choosegame_Click); });
  QObject::connect(form_.puntbanplayer, &QAction::triggered, &form_,
                   [this] { run(&frmmain::puntbanplayer_Click); });
  QObject::connect(form_.nextmap, &QAction::triggered, &form_, [this] { run(&frmmain::nextmap_Click); });
  QObject::connect(form_.exit, &QAction::triggered, &form_, [this] { run(&frmmain::exit_Click); });
  QObject::connect(form_.onlinehelp, &QAction::triggered, &form_,
                   [this] { run(&frmmain::onlinehelp_Click); });
  QObject::connect(form_.about, &QAction::triggered, &form_, [this] { run(&frmmain::about_Click); });
}

void GuiProgram::yield() {
  refresh();
  QCoreApplication::processEvents();
}

void GuiProgram::showNotice(const std::string& text) {
  refresh();
  seams_.notices.notify(form_.isVisible() ? &form_ : nullptr, qtutils::toQt(text));
}

void GuiProgram::settingsUnreadable(const std::string& path, const std::string& reason) {
  const std::string text = "Cannot read " + path + ": " + reason;
  if (text == unreadableShown_)
    return;
  // Before the box opens: an activation that runs while it is open does not open another.
  unreadableShown_ = text;
  showNotice(text);
}

void GuiProgram::showChooser() {
  if (!chooser_)
    chooser_ = new ChooserWindow(core_.settingsPath(), seams_.notices, core_.ticks);
  present(*chooser_);
}

void GuiProgram::showPuntBanDialog() {
  if (!puntBan_)
    puntBan_ = new PuntBanWindow(globals_, timer2_, seams_.notices, core_.ticks);
  present(*puntBan_);
}

void GuiProgram::showAbout() {
  if (!about_)
    about_ = new AboutWindow(seams_.system, seams_.notices, core_.ticks);
  present(*about_);
}

void GuiProgram::present(ProgramDialog& dialog) {
  dialog.onClosing = [this](ProgramDialog& closing) { dialogClosing(closing); };
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
}

void GuiProgram::openWebPage(const std::string& address) {
  if (seams_.openUrl)
    seams_.openUrl(QUrl(qtutils::toQt(address)));
}

void GuiProgram::runLater(int milliseconds, std::function<void()> task) {
  QTimer::singleShot(milliseconds, &form_, [this, task = std::move(task)] {
    if (ending_)
      return;
    task();
    refresh();
  });
}

void GuiProgram::quit() {
  endProgram();
}

void GuiProgram::endProgram() {
  ending_ = true;
  timer1_.halt();
  timer2_.halt();
  // Every window goes, message boxes included, before the process ends.
  for (QWidget* window : QApplication::topLevelWidgets())
    window->hide();
  seams_.end.end(0);
  std::abort();  // never reached: an end does not return, but the compiler cannot see through the call
}

bool GuiProgram::anyWindowOpen(const QWidget* except) const {
  if (&form_ != except && form_.isVisible())
    return true;
  for (const QWidget* dialog : {static_cast<const QWidget*>(puntBan_), static_cast<const QWidget*>(chooser_),
                                static_cast<const QWidget*>(about_)}) {
    if (dialog != nullptr && dialog != except && dialog->isVisible())
      return true;
  }
  return false;
}

void GuiProgram::mainClosing() {
  if (ending_)
    return;
  // The window is unloaded: its timers stop for good, and a tick suspended in a yield finishes unseen.
  timer1_.halt();
  timer2_.halt();
  if (!anyWindowOpen(&form_))
    endProgram();
}

void GuiProgram::dialogClosing(ProgramDialog& dialog) {
  if (ending_)
    return;
  if (!anyWindowOpen(&dialog))
    endProgram();
  if (!form_.isVisible())
    return;
  watch_.ownWindowClosing();
  // A window manager hands the focus back to the main window by itself; without one (and offscreen) only
  // this does. Once the dialog is gone, so that the focus does not bounce back to it.
  QTimer::singleShot(0, &form_, [this] {
    if (QGuiApplication::focusWindow() == nullptr || !QGuiApplication::focusWindow()->isVisible() ||
        watch_.classify(QGuiApplication::focusWindow()) != ActivationWatch::Kind::Main) {
      form_.raise();
      form_.activateWindow();
    }
  });
}
