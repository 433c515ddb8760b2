// The locks that keep copies apart, within one test process: flock locks belong to an open file and
// abstract socket names to a socket, so two locks taken here shut each other out as two copies would.
#include "memlink/linux/copy_locks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using linuxlink::GameLock;
using linuxlink::LockAttempt;

// The number of a process that has ended and been reaped.
pid_t endedProcess() {
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// The holder's number is written over a longer one, whose tail stays behind the line end; a number left by
// an earlier holder (one that could open the file for reading only writes none) names nobody.
TEST(LockFile, TheHolderIsNamedByTheNumberItWroteAndTheFileGoesWithTheLock) {
  TempFolder folder;
  folder.write("a.lock", "99999999999\n");
  LockAttempt held = linuxlink::tryLock(folder / "a.lock");
  ASSERT_TRUE(held.file.held()) << held.problem;
  const LockAttempt busy = linuxlink::tryLock(folder / "a.lock");
  EXPECT_TRUE(busy.busy && !busy.file.held());
  EXPECT_EQ("another zarn-vote (process " + std::to_string(::getpid()) + ")",
            linuxlink::anotherCopy(busy.holder));
  held.file.release();
  EXPECT_FALSE(fs::exists(folder / "a.lock"));

  folder.write("b.lock", std::to_string(endedProcess()) + "\n");
  const int fd = ::open((folder / "b.lock").c_str(), O_RDONLY);
  ASSERT_EQ(0, ::flock(fd, LOCK_EX));
  const LockAttempt stale = linuxlink::tryLock(folder / "b.lock");
  EXPECT_TRUE(stale.busy);
  EXPECT_EQ("another zarn-vote", linuxlink::anotherCopy(stale.holder));
  ::close(fd);
}

// A program folder that takes no lock file, here because a folder stands in its place, which bars root as
// well as a read-only folder bars other users.
TEST(ProgramFolderLock, AFolderThatTakesNoFileIsLockedByTheNameOfItsCanonicalPath) {
  TempFolder programs;
  fs::create_directories(programs / "one/.zarn-vote.lock");
  fs::create_directories(programs / "two/.zarn-vote.lock");
  fs::create_directory_symlink(programs / "one", programs / "link");

  const LockAttempt one = linuxlink::lockProgramFolder(programs / "one");
  ASSERT_TRUE(one.name.held() && !one.file.held()) << one.problem;
  for (const fs::path& spelling : {programs / "link", programs / "two/../one/."}) {
    const LockAttempt again = linuxlink::lockProgramFolder(spelling);
    EXPECT_TRUE(again.busy && !again.held()) << spelling;
    EXPECT_EQ(::getpid(), again.holder) << spelling;
  }
  EXPECT_TRUE(linuxlink::lockProgramFolder(programs / "two").held());

  // Neither file nor name: the copy runs without a lock, and says why.
  const LockAttempt none = linuxlink::lockProgramFolder(programs / "two", std::string(120, 'x'));
  EXPECT_FALSE(none.held() || none.busy);
  EXPECT_NE(std::string::npos, none.problem.find("/two/.zarn-vote.lock: Is a directory; cannot lock xxx"))
      << none.problem;
  EXPECT_TRUE(none.problem.ends_with(": File name too long")) << none.problem;
}

// A folder that one copy may write and another may not: the one holds the file and the name, the other
// can make no file, and each way round the name alone keeps the second out.
TEST(ProgramFolderLock, ACopyThatCanMakeNoFileInTheFolderStillMeetsTheOneThatDid) {
  TempFolder folder;
  LockAttempt writer = linuxlink::lockProgramFolder(folder.path());
  ASSERT_TRUE(writer.file.held() && writer.name.held()) << writer.problem;
  fs::remove(folder / ".zarn-vote.lock");
  fs::create_directory(folder / ".zarn-vote.lock");
  const LockAttempt reader = linuxlink::lockProgramFolder(folder.path());
  EXPECT_TRUE(reader.busy && !reader.held());
  EXPECT_EQ(::getpid(), reader.holder);

  writer = LockAttempt{};
  const LockAttempt nameOnly = linuxlink::lockProgramFolder(folder.path());
  ASSERT_TRUE(nameOnly.name.held()) << nameOnly.problem;
  fs::remove(folder / ".zarn-vote.lock");
  const LockAttempt second = linuxlink::lockProgramFolder(folder.path());
  EXPECT_TRUE(second.busy && !second.held());
  EXPECT_EQ(::getpid(), second.holder);
  EXPECT_FALSE(fs::exists(folder / ".zarn-vote.lock")) << "the file lock taken on the way is let go";
}

// This test process and its parent stand in for two games.
TEST(GameLock, OneCopyDrivesAGameAndLetsGoWhenItTakesAnother) {
  GameLock ours;
  GameLock theirs;
  std::string message;
  ASSERT_TRUE(ours.take(::getpid(), message)) << message;
  EXPECT_EQ("", message);
  EXPECT_TRUE(ours.take(::getpid(), message)) << "taken again while held";

  EXPECT_FALSE(theirs.take(::getpid(), message));
  const std::string number = std::to_string(::getpid());
  EXPECT_EQ("the game's process " + number + " is already driven by another zarn-vote (process " + number +
                "); this copy attaches once that one has let go of it",
            message);

  ASSERT_TRUE(ours.take(::getppid(), message));
  EXPECT_TRUE(theirs.take(::getpid(), message)) << message;
  EXPECT_FALSE(ours.take(::getpid(), message));

  const pid_t ended = endedProcess();
  EXPECT_FALSE(ours.take(ended, message));
  EXPECT_EQ("the game's process " + std::to_string(ended) + ": no such process", message);
}

// A copy that drives `game` from a child process, as `user` when there is one, until it is destroyed and
// with it killed.
class Driver {
 public:
  Driver(pid_t game, const std::optional<UserIds>& user) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
      return;
    pid_ = ::fork();
    if (pid_ == 0) {
      GameLock lock;
      std::string message;
      if ((user && (::setresgid(user->gid, user->gid, user->gid) != 0 ||
                    ::setresuid(user->uid, user->uid, user->uid) != 0)) ||
          !lock.take(game, message) || ::write(ready[1], "+", 1) != 1)
        ::_exit(1);
      for (;;)
        ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    // Its end of the pipe closes when it ends, so a driver that failed ends the wait as well.
    taken_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
  }
  ~Driver() { kill(); }
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  pid_t pid() const { return pid_; }
  bool taken() const { return taken_; }
  void kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
  }

 private:
  pid_t pid_ = -1;
  bool taken_ = false;
};

// The driver is run by another user when the test runs as root. It is named on every try, more tries than
// its socket's backlog holds connections, and its lock goes with a `kill -9`.
TEST(GameLock, ADriverOfAnotherUserIsNamedOnEveryTryAndLeavesNothingWhenKilled) {
  Driver driver(::getpid(), unprivilegedUser());
  ASSERT_TRUE(driver.taken()) << "the driver did not take the game";

  GameLock ours;
  std::string message;
  const std::string expected = "the game's process " + std::to_string(::getpid()) +
                               " is already driven by another zarn-vote (process " +
                               std::to_string(driver.pid()) +
                               "); this copy attaches once that one has let go of it";
  int backlog = 0;
  std::ifstream("/proc/sys/net/core/somaxconn") >> backlog;
  for (int tries = 0; tries <= std::max(backlog, 128) + 1; ++tries) {
    ASSERT_FALSE(ours.take(::getpid(), message));
    ASSERT_EQ(expected, message) << "try " << tries;
  }
  driver.kill();
  EXPECT_TRUE(ours.take(::getpid(), message)) << message;
  EXPECT_EQ("", message);
}

TEST(GameLock, WithoutALockTheGameIsDrivenAndThatSaidOnce) {
  GameLock lock(std::string(120, 'x'));
  std::string message;
  ASSERT_TRUE(lock.take(::getpid(), message));
  EXPECT_TRUE(message.starts_with("no lock on the game's process " + std::to_string(::getpid()) +
                                  " (cannot lock xxx"))
      << message;
  EXPECT_TRUE(message.ends_with(": File name too long); another zarn-vote could drive it as well"))
      << message;
  EXPECT_TRUE(lock.take(::getpid(), message));
  EXPECT_EQ("", message);
}

}  // namespace
