// A program started by a test the way a service manager or an operator's shell would start it: as another
// user, with a limit on the size of the files it writes, with its own environment or with pipes of its own.
// Its standard output and error are collected through pipes, so that a size limit on the program does not
// cut them.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct UserIds {
  uid_t uid = 0;
  gid_t gid = 0;
};

// The user "nobody" when this process is root, since permission bits do not stop root; nothing when this
// process is unprivileged already (its own files with write permission removed stop it).
std::optional<UserIds> unprivilegedUser();

struct ChildSetup {
  std::optional<UserIds> user;
  // RLIMIT_FSIZE in bytes, soft and hard. SIGXFSZ keeps its default action: a program that does not
  // ignore it ends when it writes past the limit.
  std::optional<rlim_t> fileSizeLimit;
  // Changes to the environment the program inherits from the test: a value sets the variable, none
  // removes it.
  std::vector<std::pair<std::string, std::optional<std::string>>> environment;
};

// Descriptors a program gets besides its standard ones, as {this process's descriptor, the program's
// number for it}: a browser's DevTools pipe is its descriptors 3 and 4. Each first number must be above
// every second one, so that no copy overwrites a descriptor still to be copied.
using ChildDescriptors = std::vector<std::pair<int, int>>;

class ChildProcess {
 public:
  // `arguments` begins with the program's path.
  explicit ChildProcess(std::vector<std::string> arguments, ChildSetup setup = {},
                        const ChildDescriptors& descriptors = {});
  // Kills the program when it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  // The wait status once the program ended within `timeout`, with all it wrote until then read.
  std::optional<int> waitForEnd(std::chrono::milliseconds timeout);
  // `signal` (SIGTERM unless told), then the wait status; SIGKILL when it has not ended ten seconds later.
  int stop(int signal = SIGTERM);
  // SIGKILL, as a crash or `kill -9` would end it, and reaped.
  void kill();
  void signal(int number) const;

  // Standard output and error so far, in the order they came.
  std::string output() const;
  std::string standardOutput() const;
  std::string standardError() const;
  // How many times `text` occurs in the output.
  int outputCount(const std::string& text) const;
  // Whether `text` occurs `times` times in the output within `seconds`.
  bool waitForOutput(const std::string& text, int seconds, int times = 1) const;

 private:
  void collect();
  // Whether the pipes hold no more bytes than the strings.
  bool outputRead() const;

  pid_t pid_ = -1;
  std::optional<int> status_;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::string output_;
  std::string standardOutput_;
  std::string standardError_;
  // The reading ends of the pipes for standard output and error, -1 once closed.
  int readEnds_[2] = {-1, -1};
  bool abandoned_ = false;
};

// How many times `text` occurs in `in`.
int occurrences(const std::string& in, const std::string& text);

// Whether `done` holds within `seconds`, asked every 10 ms.
bool pollUntil(const std::function<bool()>& done, int seconds);

// "exited with status N", "killed by signal N (name)": a wait status for a failure message.
std::string describeStatus(int status);
