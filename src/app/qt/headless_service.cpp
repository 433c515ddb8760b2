#include "app/qt/headless_service.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <ostream>

#include "app/qt/program_end.h"

namespace {

// The write end of the pipe that carries signals into the event loop; the handler does nothing else.
int signalWriteEnd = -1;

extern "C" void forwardSignal(int number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(number);
  [[maybe_unused]] const ssize_t written = ::write(signalWriteEnd, &byte, 1);
  errno = saved;
}

std::string oneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\r\n") == 0) {
      line += " | ";
      ++i;
    } else {
      line += text[i];
    }
  }
  return line;
}

}  // namespace

HeadlessService::HeadlessService(const std::filesystem::path& programFolder, MemoryControl& memory,
                                 const Clock& clock, ProgramEnd& end, std::ostream& log,
                                 std::chrono::milliseconds stopBound)
    : end_(end),
      log_(log),
      timer1_([this] { core_.Timer1_Timer(); }),
      timer2_([this] { core_.Timer2_Timer(); }),
      core_(MainWindowPorts{*this, timer1_, timer2_, memory, globals_, programFolder, clock}),
      stopBound_(stopBound) {
  // The audit log's lines also go to stdout, so that the service manager's journal keeps them beside the
  // notices on stderr; flushed at once, as a journal reads them as they come.
  core_.fairVotes.echoAuditLines([](const std::string& line) { std::cout << line << std::endl; });
}

HeadlessService::~HeadlessService() {
  if (signalPipe_[0] >= 0) {
    for (int number : {SIGINT, SIGTERM, SIGHUP})
      ::signal(number, SIG_DFL);
    signals_.reset();
    ::close(signalPipe_[0]);
    ::close(signalPipe_[1]);
    signalWriteEnd = -1;
  }
}

void HeadlessService::start() {
  if (::pipe2(signalPipe_, O_CLOEXEC | O_NONBLOCK) == 0) {
    signalWriteEnd = signalPipe_[1];
    signals_ = std::make_unique<QSocketNotifier>(signalPipe_[0], QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, [this] { onSignal(); });
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM, SIGHUP})
      ::sigaction(number, &action, nullptr);
  } else {
    log_ << "zarn-vote: cannot watch for signals; SIGTERM ends the service without notice" << std::endl;
  }
  core_.Form_Load();
  core_.Form_Activate();
}

void HeadlessService::reload() {
  log_ << "zarn-vote: reloading the settings" << std::endl;
  lastNotice_.clear();
  reloaded_ = true;
  core_.Form_Activate();
}

void HeadlessService::onSignal() {
  unsigned char number = 0;
  while (::read(signalPipe_[0], &number, 1) == 1) {
    if (number == SIGHUP) {
      reload();
    } else if (!stopPending_) {
      stopPending_ = true;
      if (sequencesRunning_ == 0) {
        log_ << "zarn-vote: stopping on signal " << static_cast<int>(number) << std::endl;
        end_.end(0);
      }
      log_ << "zarn-vote: stopping on signal " << static_cast<int>(number)
           << " once the console sequence in progress is finished" << std::endl;
      QTimer::singleShot(stopBound_, [this] {
        log_ << "zarn-vote: the console sequence did not finish within " << stopBound_.count()
             << " ms; stopping" << std::endl;
        end_.end(0);
      });
    }
  }
}

void HeadlessService::stopIfDue() {
  if (!stopPending_ || sequencesRunning_ != 0)
    return;
  log_ << "zarn-vote: the console sequence is finished; stopping" << std::endl;
  end_.end(0);
}

void HeadlessService::consoleSequenceRunning(bool running) {
  if (running) {
    // Before the next sequence sends anything.
    stopIfDue();
    ++sequencesRunning_;
    return;
  }
  --sequencesRunning_;
  // The sequence may have ended by a failure, while its error is on its way up the stack: the program ends
  // from the event loop, right after, or at the tick's next yield or sequence, whichever comes first.
  if (stopPending_ && sequencesRunning_ == 0)
    QTimer::singleShot(0, [this] { stopIfDue(); });
}

void HeadlessService::yield() {
  stopIfDue();
  QCoreApplication::processEvents();
}

void HeadlessService::showNotice(const std::string& text) {
  if (text == lastNotice_)
    return;
  lastNotice_ = text;
  log_ << "zarn-vote: " << oneLine(text) << std::endl;
}

void HeadlessService::settingsUnreadable(const std::string& path, const std::string& reason) {
  log_ << "zarn-vote: cannot read " << path << ": " << reason << std::endl;
  if (!reloaded_)
    end_.end(kExitUnusableSettings);
}

void HeadlessService::showChooser() {
  log_ << "zarn-vote: First Run is True in " << core_.settingsPath().string()
       << ", and the game version chooser needs the window.\n"
       << "zarn-vote: Set [General] First Run=False, and [Game] Name, [Memory] Chat, [Memory] Console and\n"
       << "zarn-vote: [Memory] Player Start for the game to attach to (or choose the game once in the "
          "window:\n"
       << "zarn-vote: zarn-vote --dir <folder>)." << std::endl;
  end_.end(kExitUnusableSettings);
}

void HeadlessService::quit() {
  end_.end(0);
  std::abort();  // never reached: an end does not return, but the compiler cannot see through the call
}
