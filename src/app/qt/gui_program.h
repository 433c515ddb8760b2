// The program with its window: the core's main window shown by MainForm, its timers on QTimers, its
// notices in message boxes, its dialogs as modeless windows, the activation sequence run when the
// main window becomes the program's active window again, and the remote console's server.
#pragma once

#include <QPointer>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/error_log.h"
#include "app/globals.h"
#include "app/host.h"
#include "app/main_window.h"
#include "app/qt/activation_watch.h"
#include "app/qt/main_form.h"
#include "app/qt/qt_timer.h"
#include "app/qt/remote_server.h"
#include "dialogs/qt/about_window.h"
#include "dialogs/qt/chooser_window.h"
#include "dialogs/qt/punt_ban_window.h"

namespace qtutils {
class NoticePort;
}
class ProgramEnd;
class SystemPort;
class MemoryControl;

// Everything the program reaches beyond its own windows; tests put their own in.
struct GuiSeams {
  qtutils::NoticePort& notices;
  ProgramEnd& end;
  SystemPort& system;
  std::function<void(const QUrl&)> openUrl;
};

class GuiProgram final : public HostPort {
 public:
  GuiProgram(const std::filesystem::path& programFolder, MemoryControl& memory, const Clock& clock,
             const GuiSeams& seams);
  ~GuiProgram() override;

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

  frmmain& core() { return core_; }
  MainForm& form() { return form_; }
  QtTimer& timer1() { return timer1_; }
  QtTimer& timer2() { return timer2_; }
  RemoteServer& remoteServer() { return remote_; }
  Globals& globals() { return globals_; }
  ActivationWatch& activationWatch() { return watch_; }
  PuntBanWindow* puntBanWindow() const { return puntBan_; }
  ChooserWindow* chooserWindow() const { return chooser_; }
  AboutWindow* aboutWindow() const { return about_; }

 private:
  // Runs one of the core's handlers, then shows what it changed.
  void run(void (frmmain::*handler)());
  // The remote console's answer to one request, then what it changed shown, as for a click.
  RemoteReply answerRemote(const RemoteRequest& request);
  void connectControls();
  // Gives a dialog its closing behaviour and shows it in front.
  void present(ProgramDialog& dialog);
  void dialogClosing(ProgramDialog& dialog);
  void mainClosing();
  bool anyWindowOpen(const QWidget* except) const;
  [[noreturn]] void endProgram();

  GuiSeams seams_;
  Globals globals_;
  QtTimer timer1_;
  QtTimer timer2_;
  RemoteServer remote_;
  frmmain core_;
  MainForm form_;
  ActivationWatch watch_;
  QPointer<PuntBanWindow> puntBan_;
  QPointer<ChooserWindow> chooser_;
  QPointer<AboutWindow> about_;
  // The notice about an unreadable settings file that the operator has seen.
  std::string unreadableShown_;
  bool ending_ = false;
};
