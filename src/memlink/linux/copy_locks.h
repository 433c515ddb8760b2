// The locks that keep copies of zarn-vote apart: one per program folder, so that a second copy on the same
// folder ends at once, and one per game process, so that a copy on another folder leaves a game alone
// while another copy drives it.
//
// Most are names in the abstract namespace of Unix sockets, such as "zarn-vote/game/<pid>-<start time>": a
// copy holds one by binding a socket to it, and the kernel frees the name with the socket, however its
// holder ends, `kill -9` included, and leaves no file behind. The names depend on no environment variable
// and no folder, so every copy in the network namespace sees every other, whichever user runs it and
// wherever its $XDG_RUNTIME_DIR points. The holder listens on its socket without ever accepting: a copy it
// stops connects, and learns the holder's process number from the pending connection (SO_PEERCRED).
// The namespace is shared by all users: another local user could bind a name first, and so keep copies
// off a folder or a game, though never make one drive a game that another drives.
//
// A program folder is also locked with flock(2) on ".zarn-vote.lock" in it, which reaches copies in
// other network namespaces (containers) that share the folder.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>

namespace linuxlink {

// The first part of every lock name.
inline const std::string kLockSpace = "zarn-vote";

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

// A lock name in the abstract socket namespace, held as long as the object holds its socket.
class NameLock {
 public:
  NameLock() = default;
  explicit NameLock(int socket) : fd_(socket) {}
  ~NameLock() { release(); }
  NameLock(NameLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  NameLock& operator=(NameLock&& other) noexcept;
  NameLock(const NameLock&) = delete;
  NameLock& operator=(const NameLock&) = delete;

  bool held() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }
  void release();

 private:
  int fd_ = -1;
};

// What one try for a lock came to: it is held, another process holds it, or none can be had.
struct LockAttempt {
  LockFile file;
  NameLock name;
  bool busy = false;
  pid_t holder = 0;     // when busy: the holder's process number, 0 when it is not known
  std::string problem;  // when neither held nor busy: why, in the system's words

  bool held() const { return file.held() || name.held(); }
};

// Tries once, without waiting; makes the file when it is missing. The holder writes its process number
// into the file, for the copies it stops.
LockAttempt tryLock(const std::filesystem::path& file);

// "another zarn-vote (process 1234)", or without the number when it is not known.
std::string anotherCopy(pid_t holder);

// The lock of a program folder: ".zarn-vote.lock" in it when that file can be made, and always the name
// "<space>/folder/<hash of the canonical path>", so that a folder that one copy may write and another
// may only read is one lock for both.
LockAttempt lockProgramFolder(const std::filesystem::path& folder, const std::string& space = kLockSpace);

// The lock of the game process that a link drives: the name "<space>/game/<pid>-<start time>", so that a
// new process that got the number of an ended game is another game.
class GameLock {
 public:
  explicit GameLock(std::string space = kLockSpace) : space_(std::move(space)) {}

  // Whether this copy may drive the game in process `pid`. True when it holds the game's lock, or when no
  // lock can be had for it: `message` then says so, the first time for that game only. False when another
  // copy holds the lock or the process has ended; `message` says which. A lock held for another game
  // is let go first.
  bool take(pid_t pid, std::string& message);

 private:
  std::string space_;
  std::string game_;  // the process number and start time of the game taken, with its lock or without
  NameLock lock_;
  // The game last found driven by another copy, and that copy's number. Each connection to learn the
  // number waits in the holder's backlog for good, so it is asked once, not on every try.
  std::string busyGame_;
  pid_t busyHolder_ = 0;
};

}  // namespace linuxlink
