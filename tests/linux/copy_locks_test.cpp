// The locks that keep copies apart, within one test process: flock locks belong to an open file, so two
// locks taken here on the same file shut each other out as two copies would.
#include "memlink/linux/copy_locks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using linuxlink::GameLock;
using linuxlink::LockAttempt;
using linuxlink::LockPlaces;

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
  ASSERT_TRUE(held.lock.held()) << held.problem;
  const LockAttempt busy = linuxlink::tryLock(folder / "a.lock");
  EXPECT_TRUE(busy.busy && !busy.lock.held());
  EXPECT_EQ("another zarn-vote (process " + std::to_string(::getpid()) + ")",
            linuxlink::anotherCopy(busy.holder));
  held.lock.release();
  EXPECT_FALSE(fs::exists(folder / "a.lock"));

  folder.write("b.lock", std::to_string(endedProcess()) + "\n");
  const int fd = ::open((folder / "b.lock").c_str(), O_RDONLY);
  ASSERT_EQ(0, ::flock(fd, LOCK_EX));
  const LockAttempt stale = linuxlink::tryLock(folder / "b.lock");
  EXPECT_TRUE(stale.busy);
  EXPECT_EQ("another zarn-vote", linuxlink::anotherCopy(stale.holder));
  ::close(fd);
}

TEST(LockPlaces, ThePrivateFolderIsThisUsersAloneInTheRuntimeFolderOrElseUnderTheTemporaryOne) {
  TempFolder runtime;
  TempFolder temporary;
  std::string problem;
  const fs::path inRuntime = LockPlaces{runtime.path().string(), temporary.path()}.privateFolder(problem);
  EXPECT_EQ(runtime / "zarn-vote", inRuntime) << problem;
  EXPECT_EQ(fs::perms::owner_all, fs::status(inRuntime).permissions());

  const fs::path ours = temporary / ("zarn-vote-" + std::to_string(::geteuid()));
  for (const std::string& unusable :
       {std::string(), std::string("relative/run"), (runtime / "gone/x").string()})
    EXPECT_EQ(ours, (LockPlaces{unusable, temporary.path()}.privateFolder(problem))) << unusable;

  // A folder others may enter could hold their files under our lock names.
  fs::permissions(ours, fs::perms::all);
  EXPECT_EQ(fs::path(), (LockPlaces{"", temporary.path()}.privateFolder(problem)));
  EXPECT_NE(std::string::npos,
            problem.find(ours.string() + " is not a folder that this user alone may enter"))
      << problem;
}

// A program folder that takes no lock file, here because a folder stands in its place, which bars root as
// well as a read-only folder bars other users.
TEST(ProgramFolderLock, AFolderThatTakesNoFileIsLockedInThePrivateFolderUnderItsCanonicalPath) {
  TempFolder places;
  TempFolder programs;
  const LockPlaces elsewhere{"", places.path()};
  fs::create_directories(programs / "one/.zarn-vote.lock");
  fs::create_directories(programs / "two/.zarn-vote.lock");
  fs::create_directory_symlink(programs / "one", programs / "link");

  const LockAttempt one = linuxlink::lockProgramFolder(programs / "one", elsewhere);
  ASSERT_TRUE(one.lock.held()) << one.problem;
  for (const fs::path& spelling : {programs / "link", programs / "two/../one/."})
    EXPECT_TRUE(linuxlink::lockProgramFolder(spelling, elsewhere).busy) << spelling;
  EXPECT_TRUE(linuxlink::lockProgramFolder(programs / "two", elsewhere).lock.held());

  // Neither here nor there: the copy runs without a lock, and says why.
  const LockAttempt none = linuxlink::lockProgramFolder(programs / "two", LockPlaces{"", programs / "none"});
  EXPECT_FALSE(none.lock.held() || none.busy);
  EXPECT_NE(std::string::npos, none.problem.find("/two/.zarn-vote.lock: Is a directory; cannot make " +
                                                 (programs / "none").string()))
      << none.problem;
}

// This test process and its parent stand in for two games.
TEST(GameLock, OneCopyDrivesAGameAndLetsGoWhenItTakesAnother) {
  TempFolder places;
  const LockPlaces here{"", places.path()};
  GameLock ours(here);
  GameLock theirs(here);
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

TEST(GameLock, WithoutAPlaceForItsFileTheGameIsDrivenAndThatSaidOnce) {
  TempFolder places;
  std::ofstream(places / "file") << "not a folder";
  GameLock lock(LockPlaces{"", places / "file"});
  std::string message;
  ASSERT_TRUE(lock.take(::getpid(), message));
  EXPECT_TRUE(
      message.starts_with("no lock on the game's process " + std::to_string(::getpid()) + " (cannot make "))
      << message;
  EXPECT_TRUE(message.ends_with("); another zarn-vote could drive it as well")) << message;
  EXPECT_TRUE(lock.take(::getpid(), message));
  EXPECT_EQ("", message);
}

}  // namespace
