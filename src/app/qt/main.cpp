// zarn-vote: the operator's window, or with --headless the service alone.
#include <QApplication>
#include <QDesktopServices>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/error_log.h"
#include "app/program_end.h"
#include "app/qt/event_loop_pause.h"
#include "app/qt/gui_program.h"
#include "app/qt/headless_service.h"
#include "app/qt/qt_utils.h"
#include "app/qt/service_manager.h"
#include "dialogs/qt/linux_system.h"
#include "memlink/linux/copy_locks.h"
#include "memlink/linux/linux_memory_control.h"

namespace {

// The exit status of a copy that finds another one running on its program folder.
constexpr int kExitAnotherCopy = 3;

// What the game link says about reaching the game, once each time it changes.
void reportGameLink(const std::string& state) {
  std::cerr << "zarn-vote: " << state << std::endl;
}

int runHeadless(int argc, char** argv, const std::filesystem::path& folder) {
  QCoreApplication app(argc, argv);
  EventLoopPause pause;
  LinuxMemoryControl link(pause, reportGameLink);
  SystemClock clock;
  ProcessEnd end;
  HeadlessService service(folder, link, clock, end, std::cerr);
  service.start();
  // Settings that cannot run the service ended it inside start().
  notifyServiceManager("READY=1");
  return QCoreApplication::exec();
}

int runWindow(int argc, char** argv, const std::filesystem::path& folder) {
  QApplication app(argc, argv);
  // The program ends through Exit or when its last window closes, always at once (GuiProgram); Qt's own
  // quit would instead make every pause in progress return early.
  QApplication::setQuitOnLastWindowClosed(false);
  qtutils::setUpProgramLook();
  GuiProgram* program = nullptr;
  EventLoopPause pause([&program] {
    if (program != nullptr)
      program->refresh();
  });
  LinuxMemoryControl link(pause, reportGameLink);
  SystemClock clock;
  qtutils::MessageBoxNotices notices;
  ProcessEnd end;
  LinuxSystem system;
  GuiProgram window(folder, link, clock,
                    GuiSeams{notices, end, system, [](const QUrl& url) { QDesktopServices::openUrl(url); }});
  program = &window;
  window.show();
  return QApplication::exec();
}

// Says that another copy runs on the folder, on stderr and in the window mode also in a message box.
int endAsSecondCopy(int argc, char** argv, bool headless, const std::string& why) {
  std::cerr << "zarn-vote: " << why << std::endl;
  if (!headless) {
    QApplication app(argc, argv);
    qtutils::setUpProgramLook();
    QString text = QString::fromLocal8Bit(why);
    text[0] = text[0].toUpper();
    qtutils::MessageBoxNotices().notify(nullptr, text + QLatin1Char('.'));
  }
  return kExitAnotherCopy;
}

}  // namespace

int main(int argc, char** argv) {
  // A full disk or a file-size limit must make a write fail (the error log then drops its entry), not end
  // the service; so must a closed stderr (a service manager that went away).
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  std::error_code ignored;
  const CommandLine command =
      parseCommandLine(arguments, std::filesystem::read_symlink("/proc/self/exe", ignored));
  if (const std::optional<int> status = answerAtOnce(command, std::cout, std::cerr))
    return *status;
  // Held until the process ends: a second copy on the folder would drive the same game with the same logs.
  const linuxlink::LockAttempt folderLock = linuxlink::lockProgramFolder(command.folder);
  if (folderLock.busy)
    return endAsSecondCopy(argc, argv, command.headless,
                           linuxlink::anotherCopy(folderLock.holder) + " already runs on " +
                               command.folder.string() + "; this copy ends");
  if (!folderLock.held())
    std::cerr << "zarn-vote: no lock on " << command.folder.string() << " (" << folderLock.problem
              << "); a second copy on this folder would not be stopped" << std::endl;
  return command.headless ? runHeadless(argc, argv, command.folder) : runWindow(argc, argv, command.folder);
}
