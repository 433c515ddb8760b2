#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

using namespace std::chrono_literals;

std::optional<UserIds> unprivilegedUser() {
  if (::geteuid() != 0)
    return std::nullopt;
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr)
    return UserIds{65534, 65534};
  return UserIds{nobody->pw_uid, nobody->pw_gid};
}

ChildProcess::ChildProcess(std::vector<std::string> arguments, ChildSetup setup,
                           const ChildDescriptors& descriptors) {
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string entry = *variable;
    const auto changed = [&entry](const auto& change) { return entry.starts_with(change.first + "="); };
    if (std::none_of(setup.environment.begin(), setup.environment.end(), changed))
      variables.push_back(entry);
  }
  for (const auto& [name, value] : setup.environment) {
    if (value)
      variables.push_back(name + "=" + *value);
  }
  std::vector<char*> envp;
  for (std::string& variable : variables)
    envp.push_back(variable.data());
  envp.push_back(nullptr);
  int outEnds[2] = {-1, -1};
  int errorEnds[2] = {-1, -1};
  if (::pipe2(outEnds, O_CLOEXEC) != 0)
    return;
  if (::pipe2(errorEnds, O_CLOEXEC) != 0) {
    ::close(outEnds[0]);
    ::close(outEnds[1]);
    return;
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec: the test process has other threads.
    if (::dup2(outEnds[1], STDOUT_FILENO) < 0 || ::dup2(errorEnds[1], STDERR_FILENO) < 0)
      ::_exit(126);
    const int nothing = ::open("/dev/null", O_RDONLY);
    if (nothing >= 0)
      ::dup2(nothing, STDIN_FILENO);
    for (const auto& [from, to] : descriptors) {
      if (::dup2(from, to) < 0)
        ::_exit(123);
    }
    if (setup.fileSizeLimit) {
      const rlimit limit{*setup.fileSizeLimit, *setup.fileSizeLimit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        ::_exit(125);
    }
    if (setup.user) {
      if (::setgroups(0, nullptr) != 0 ||
          ::setresgid(setup.user->gid, setup.user->gid, setup.user->gid) != 0 ||
          ::setresuid(setup.user->uid, setup.user->uid, setup.user->uid) != 0)
        ::_exit(124);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(outEnds[1]);
  ::close(errorEnds[1]);
  if (pid_ < 0) {
    ::close(outEnds[0]);
    ::close(errorEnds[0]);
    return;
  }
  readEnds_[0] = outEnds[0];
  readEnds_[1] = errorEnds[0];
  reader_ = std::thread([this] { collect(); });
}

ChildProcess::~ChildProcess() {
  kill();
  {
    // A process the program started may hold the pipes open: the reader stops at its next turn.
    const std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
  }
  if (reader_.joinable())
    reader_.join();
}

// Reads each pipe while it has bytes, and closes it at its end. A read and what it appends happen under
// the lock, so that outputRead() sees the bytes either in the pipe or in the strings.
void ChildProcess::collect() {
  std::string* streams[2] = {&standardOutput_, &standardError_};
  char buffer[4096];
  for (;;) {
    pollfd ends[2];
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (abandoned_ || (readEnds_[0] < 0 && readEnds_[1] < 0))
        break;
      ends[0] = {readEnds_[0], POLLIN, 0};  // poll passes over a negative descriptor
      ends[1] = {readEnds_[1], POLLIN, 0};
    }
    if (::poll(ends, 2, 100) < 0 && errno != EINTR)
      break;
    const std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < 2; ++i) {
      if (ends[i].fd < 0 || ends[i].revents == 0)
        continue;
      const ssize_t got = ::read(ends[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        output_.append(buffer, static_cast<std::size_t>(got));
        streams[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(readEnds_[i]);
        readEnds_[i] = -1;
      }
    }
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  for (int& end : readEnds_) {
    if (end >= 0)
      ::close(std::exchange(end, -1));
  }
}

bool ChildProcess::outputRead() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const int end : readEnds_) {
    int waiting = 0;
    if (end >= 0 && ::ioctl(end, FIONREAD, &waiting) == 0 && waiting > 0)
      return false;
  }
  return true;
}

bool ChildProcess::running() {
  return !waitForEnd(0ms).has_value();
}

std::optional<int> ChildProcess::waitForEnd(std::chrono::milliseconds timeout) {
  if (pid_ <= 0)
    return -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!status_) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_)
      status_ = status;
    else if (std::chrono::steady_clock::now() >= deadline)
      return std::nullopt;
    else
      std::this_thread::sleep_for(10ms);
  }
  // What the program wrote before it ended may still wait in the pipes.
  while (!outputRead() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  return status_;
}

int ChildProcess::stop(int signal) {
  if (running()) {
    this->signal(signal);
    if (!waitForEnd(10s))
      kill();
  }
  return status_.value_or(-1);
}

void ChildProcess::kill() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = status;
  }
}

void ChildProcess::signal(int number) const {
  if (pid_ > 0 && !status_)
    ::kill(pid_, number);
}

std::string ChildProcess::output() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return output_;
}

std::string ChildProcess::standardOutput() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return standardOutput_;
}

std::string ChildProcess::standardError() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return standardError_;
}

int occurrences(const std::string& in, const std::string& text) {
  int count = 0;
  for (std::size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + text.size()))
    ++count;
  return count;
}

int ChildProcess::outputCount(const std::string& text) const {
  return occurrences(output(), text);
}

bool ChildProcess::waitForOutput(const std::string& text, int seconds, int times) const {
  return pollUntil([&] { return outputCount(text) >= times; }, seconds);
}

bool pollUntil(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string describeStatus(int status) {
  if (status < 0)
    return "not started";
  if (WIFEXITED(status))
    return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    const char* name = ::sigabbrev_np(WTERMSIG(status));
    return "killed by signal " + std::to_string(WTERMSIG(status)) + " (SIG" + (name ? name : "?") + ")";
  }
  return "wait status " + std::to_string(status);
}
