#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace std::chrono_literals;

std::optional<UserIds> unprivilegedUser() {
  if (::geteuid() != 0)
    return std::nullopt;
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr)
    return UserIds{65534, 65534};
  return UserIds{nobody->pw_uid, nobody->pw_gid};
}

ChildProcess::ChildProcess(std::vector<std::string> arguments, ChildSetup setup) {
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
  int pipeEnds[2] = {-1, -1};
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
    return;
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec: the test process has other threads.
    if (::dup2(pipeEnds[1], STDOUT_FILENO) < 0 || ::dup2(pipeEnds[1], STDERR_FILENO) < 0)
      ::_exit(126);
    const int nothing = ::open("/dev/null", O_RDONLY);
    if (nothing >= 0)
      ::dup2(nothing, STDIN_FILENO);
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
  ::close(pipeEnds[1]);
  if (pid_ < 0) {
    ::close(pipeEnds[0]);
    return;
  }
  reader_ = std::thread([this, fd = pipeEnds[0]] { collect(fd); });
}

ChildProcess::~ChildProcess() {
  kill();
  if (reader_.joinable())
    reader_.join();
}

void ChildProcess::collect(int fd) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    const std::lock_guard<std::mutex> lock(mutex_);
    output_.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
}

bool ChildProcess::running() {
  return !waitForEnd(0ms).has_value();
}

std::optional<int> ChildProcess::waitForEnd(std::chrono::milliseconds timeout) {
  if (status_)
    return status_;
  if (pid_ <= 0)
    return -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(10ms);
  }
}

int ChildProcess::stop() {
  if (running()) {
    signal(SIGTERM);
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

int ChildProcess::outputCount(const std::string& text) const {
  const std::string all = output();
  int count = 0;
  for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
    ++count;
  return count;
}

bool ChildProcess::waitForOutput(const std::string& text, int seconds, int times) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (outputCount(text) < times) {
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
