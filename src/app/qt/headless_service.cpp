#include "app/qt/headless_service.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <iostream>
#include <ostream>
#include <string>

namespace {

// The write end of the pipe that carries signals into the event loop; the handler does nothing else.
int signalWriteEnd = -1;

extern "C" void forwardSignal(int number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(number);
  [[maybe_unused]] const ssize_t written = ::write(signalWriteEnd, &byte, 1);
  errno = saved;
}

}  // namespace

void QtEventLoop::processEvents() {
  QCoreApplication::processEvents();
}

void QtEventLoop::runLater(std::chrono::milliseconds delay, std::function<void()> task) {
  QTimer::singleShot(delay, std::move(task));
}

HeadlessService::HeadlessService(const std::filesystem::path& programFolder, MemoryControl& memory,
                                 const Clock& clock, ProgramEnd& end, std::ostream& log,
                                 std::chrono::milliseconds stopBound)
    : log_(log),
      host_(programFolder / "settings.ini", loop_, end, log, stopBound),
      timer1_([this] { core_.Timer1_Timer(); }),
      timer2_([this] { core_.Timer2_Timer(); }),
      remote_([this](const RemoteRequest& request) { return core_.remoteConsole->handle(request); }, log),
      core_(MainWindowPorts{host_, timer1_, timer2_, memory, globals_, programFolder, clock, &remote_}) {
  host_.serve(core_);
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
  host_.start();
}

void HeadlessService::onSignal() {
  unsigned char number = 0;
  while (::read(signalPipe_[0], &number, 1) == 1) {
    if (number == SIGHUP)
      host_.reload();
    else
      host_.stop("signal " + std::to_string(number));
  }
}
