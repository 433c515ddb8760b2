// The locks that keep copies of zarn-vote apart: one per program folder, so that a second copy on the same
// folder ends at once, and one per game process, so that a copy on another folder leaves a game alone
// while another copy drives it. Each is a flock(2) lock on a file, which the kernel drops when its holder
// ends, however it ends: no lock outlives its copy, not even after a `kill -9`. The holder writes its
// process number into the file, so that the copy it stops can name it.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>

namespace linuxlink {

// Where the lock files go that belong in no program folder: a folder of this user's own, "zarn-vote" in
// $XDG_RUNTIME_DIR, or else /tmp/zarn-vote-<uid>.
struct LockPlaces {
  std::string runtimeFolder;  // $XDG_RUNTIME_DIR; empty when it is not set
  std::filesystem::path temporaryFolder = "/tmp";

  static LockPlaces fromEnvironment();
  // The first of the two folders that is usable, made with mode 0700 when missing. One that another user
  // owns, or that others may enter, is not used: they could take or remove our locks. Empty, with
  // `problem` saying why, when neither is usable.
  std::filesystem::path privateFolder(std::string& problem) const;
};

struct LockAttempt;
LockAttempt tryLock(const std::filesystem::path& file);

// An exclusive lock on a file, held as long as the object holds it; releasing it removes the file.
class LockFile {
 public:
  LockFile() = default;
  ~LockFile();
  LockFile(LockFile&& other) noexcept;
  LockFile& operator=(LockFile&& other) noexcept;
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  bool held() const { return fd_ >= 0; }
  void release();

 private:
  friend LockAttempt tryLock(const std::filesystem::path& file);
  LockFile(int fd, std::filesystem::path file) : fd_(fd), file_(std::move(file)) {}

  int fd_ = -1;
  std::filesystem::path file_;
};

// What one try for a lock came to: it is held, another process holds it, or none can be had.
struct LockAttempt {
  LockFile lock;
  bool busy = false;
  pid_t holder = 0;     // when busy: the number the holder wrote, 0 when it wrote none (yet)
  std::string problem;  // when neither held nor busy: why, in the system's words
};

// Tries once, without waiting; makes the file when it is missing.
LockAttempt tryLock(const std::filesystem::path& file);

// "another zarn-vote (process 1234)", or without the number when it is not known.
std::string anotherCopy(pid_t holder);

// The lock of a program folder: ".zarn-vote.lock" in it, or, when no file can be made there (a read-only
// folder), a file in the private folder named after the folder's canonical path.
LockAttempt lockProgramFolder(const std::filesystem::path& folder, const LockPlaces& places);

// The lock of the game process that a link drives. Its file is named after the process number and the
// process's start time, so that a new process that got the number of an ended game is another game.
class GameLock {
 public:
  explicit GameLock(LockPlaces places = LockPlaces::fromEnvironment());

  // Whether this copy may drive the game in process `pid`. True when it holds the game's lock, or when no
  // lock can be made for it: `message` then says so, the first time for that game only. False when another
  // copy holds the lock or the process has ended; `message` says which. A lock held for another game
  // is let go first.
  bool take(pid_t pid, std::string& message);

 private:
  LockPlaces places_;
  std::string game_;  // the process number and start time of the game taken, with its lock or without
  LockFile lock_;
};

}  // namespace linuxlink
