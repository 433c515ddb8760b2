#include "app/service_host.h"

#include <cstdlib>
#include <ostream>
#include <utility>

#include "app/main_window.h"

namespace {

// A notice's lines joined into one log line.
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

ServiceHost::ServiceHost(std::filesystem::path settingsPath, EventLoopPort& loop, ProgramEnd& end,
                         std::ostream& log, std::chrono::milliseconds stopBound)
    : settingsPath_(std::move(settingsPath)), loop_(loop), end_(end), log_(log), stopBound_(stopBound) {}

void ServiceHost::start() {
  if (core_ != nullptr)
    core_->Form_Activate();
  started_ = true;
}

void ServiceHost::reload() {
  log_ << "zarn-vote: reloading the settings" << std::endl;
  lastNotice_.clear();
  started_ = true;
  if (core_ != nullptr)
    core_->Form_Activate();
}

void ServiceHost::stop(const std::string& reason) {
  if (stopPending_)
    return;
  stopPending_ = true;
  if (sequencesRunning_ == 0) {
    log_ << "zarn-vote: stopping on " << reason << std::endl;
    end_.end(0);
  }
  log_ << "zarn-vote: stopping on " << reason << " once the console sequence in progress is finished"
       << std::endl;
  loop_.runLater(stopBound_, [this] {
    log_ << "zarn-vote: the console sequence did not finish within " << stopBound_.count() << " ms; stopping"
         << std::endl;
    end_.end(0);
  });
}

void ServiceHost::stopIfDue() {
  if (!stopPending_ || sequencesRunning_ != 0)
    return;
  log_ << "zarn-vote: the console sequence is finished; stopping" << std::endl;
  end_.end(0);
}

void ServiceHost::consoleSequenceRunning(bool running) {
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
    loop_.runLater(std::chrono::milliseconds(0), [this] { stopIfDue(); });
}

void ServiceHost::yield() {
  stopIfDue();
  loop_.processEvents();
}

void ServiceHost::showNotice(const std::string& text) {
  if (text == lastNotice_)
    return;
  lastNotice_ = text;
  log_ << "zarn-vote: " << oneLine(text) << std::endl;
}

void ServiceHost::settingsUnreadable(const std::string& path, const std::string& reason) {
  log_ << "zarn-vote: cannot read " << path << ": " << reason << std::endl;
  if (!started_)
    end_.end(kExitUnusableSettings);
}

void ServiceHost::showChooser() {
  // A folder named by mistake has no settings file, and First Run takes its default.
  std::error_code unknown;
  if (!std::filesystem::exists(settingsPath_, unknown) && !unknown)
    log_ << "zarn-vote: there is no " << settingsPath_.string() << ", so First Run counts as True";
  else
    log_ << "zarn-vote: First Run is True in " << settingsPath_.string();
  log_ << ", and the game version chooser needs the window.\n"
       << "zarn-vote: Set [General] First Run=False, and [Game] Name, [Memory] Chat, [Memory] Console and\n"
       << "zarn-vote: [Memory] Player Start for the game to attach to (or choose the game once in the "
          "window:\n"
       << "zarn-vote: zarn-vote --dir <folder>)." << std::endl;
  // A reload or a Start from the remote console: ending here would answer nobody, and leave a remote
  // operator nothing to start the service with again. It goes on with the game it has.
  if (started_) {
    log_ << "zarn-vote: the service goes on with the game it is attached to; mend the settings and reload."
         << std::endl;
    return;
  }
  end_.end(kExitUnusableSettings);
}

void ServiceHost::quit() {
  end_.end(0);
  std::abort();  // never reached: an end does not return, but the compiler cannot see through the call
}
