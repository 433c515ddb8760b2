#include "memlink/linux/copy_locks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace linuxlink {
namespace {

namespace fs = std::filesystem;

// The number the holder wrote into its lock file; 0 when there is none, or when that process is gone (a
// file that a holder could only open for reading keeps the number of an earlier holder).
pid_t holderIn(int fd) {
  char text[32] = {};
  ssize_t got = 0;
  // A holder writes its number just after it took the lock: one that has only just taken it gets a moment.
  for (int tries = 0; (got = ::pread(fd, text, sizeof text - 1, 0)) == 0 && tries < 20; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (got <= 0)
    return 0;
  char* end = nullptr;
  const long number = std::strtol(text, &end, 10);
  if (number <= 0 || *end != '\n')
    return 0;
  const auto holder = static_cast<pid_t>(number);
  return ::kill(holder, 0) == 0 || errno == EPERM ? holder : 0;
}

// "cannot open /x/y: Permission denied". The caller passes errno as the failed call left it, before anything
// else can change it.
std::string failure(const char* what, const fs::path& path, int error) {
  return std::string("cannot ") + what + " " + path.string() + ": " + std::strerror(error);
}

// Whether `fd` is still the file named `file`. A holder removes its file as it lets go, so whoever opened
// it just before holds a lock on a file that keeps nobody out, and must try again on a new one.
bool stillNamed(int fd, const fs::path& file) {
  struct stat opened {};
  struct stat named {};
  return ::fstat(fd, &opened) == 0 && ::stat(file.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

int openLockFile(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd >= 0 || (errno != EACCES && errno != EPERM && errno != EROFS))
    return fd;
  // Another user's lock file, or one left in a folder that has become read-only: a file open for reading
  // locks as well, only the holder's number cannot be written into it.
  const int denied = errno;
  const int readOnly = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (readOnly < 0)
    errno = denied;
  return readOnly;
}

// FNV-1a in hexadecimal: the same for the same text in every build, unlike std::hash.
std::string nameHash(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char byte : text) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 1099511628211ULL;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016" PRIx64, hash);
  return digits;
}

// When the process started, in clock ticks since the boot (field 22 of /proc/PID/stat); empty when there
// is no such process.
std::string startTimeOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return {};
  // The fields after the command name, which may itself hold blanks and parentheses; the state is field 3.
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos)
    return {};
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int number = 3; number <= 22; ++number) {
    if (!(fields >> field))
      return {};
  }
  return field;
}

// The address of the abstract name `name`: a leading zero byte, then the name without an ending zero.
// False when the name does not fit.
bool abstractAddress(const std::string& name, sockaddr_un& address, socklen_t& length) {
  address = {};
  address.sun_family = AF_UNIX;
  if (name.size() + 1 > sizeof address.sun_path)
    return false;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return true;
}

// Tries once to hold the name; when another process holds it, `holder` is left for holderOfName.
LockAttempt tryNameLock(const std::string& name) {
  LockAttempt attempt;
  sockaddr_un address;
  socklen_t length = 0;
  if (!abstractAddress(name, address, length)) {
    attempt.problem = "cannot lock " + name + ": " + std::strerror(ENAMETOOLONG);
    return attempt;
  }
  NameLock socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.held()) {
    const int error = errno;
    attempt.problem = "cannot make a socket to lock " + name + ": " + std::strerror(error);
    return attempt;
  }
  const int fd = socket.descriptor();
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    const int error = errno;
    attempt.busy = error == EADDRINUSE;
    if (!attempt.busy)
      attempt.problem = "cannot lock " + name + ": " + std::strerror(error);
    return attempt;
  }
  // Listening lets the copies this one stops connect and learn its number; none is ever accepted.
  if (::listen(fd, SOMAXCONN) != 0) {
    const int error = errno;
    attempt.problem = "cannot listen on the lock " + name + ": " + std::strerror(error);
    return attempt;
  }
  attempt.name = std::move(socket);
  return attempt;
}

// A socket that is closed with the object.
struct Socket {
  int fd;
  ~Socket() {
    if (fd >= 0)
      ::close(fd);
  }
};

// The number of the process that holds the name, from a connection that waits in its backlog; 0 when it
// cannot be had: the backlog is full, or the holder is in another process namespace.
pid_t holderOfName(const std::string& name) {
  sockaddr_un address;
  socklen_t length = 0;
  if (!abstractAddress(name, address, length))
    return 0;
  // A holder listens just after it bound the name: one that has only just bound it gets a moment.
  for (int tries = 0; tries < 20; ++tries) {
    // Not blocking: a connect to a full backlog would wait until the holder ends.
    const Socket probe{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (probe.fd < 0)
      return 0;
    if (::connect(probe.fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
      ucred peer{};
      socklen_t size = sizeof peer;
      return ::getsockopt(probe.fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 ? peer.pid : 0;
    }
    if (errno != ECONNREFUSED)
      return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return 0;
}

}  // namespace

LockFile::~LockFile() {
  release();
}

LockFile::LockFile(LockFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), file_(std::move(other.file_)) {}

LockFile& LockFile::operator=(LockFile&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    file_ = std::move(other.file_);
  }
  return *this;
}

void LockFile::release() {
  if (fd_ < 0)
    return;
  // Removed while still locked, so that nobody takes a lock on it between the two steps (stillNamed).
  ::unlink(file_.c_str());
  ::close(fd_);
  fd_ = -1;
}

LockAttempt tryLock(const fs::path& file) {
  LockAttempt attempt;
  // Each round that ends on a removed file follows a holder that let go meanwhile; a few are plenty.
  for (int round = 0; round < 8; ++round) {
    const int fd = openLockFile(file);
    if (fd < 0) {
      attempt.problem = failure("open", file, errno);
      return attempt;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      if (error == EWOULDBLOCK) {
        attempt.busy = true;
        attempt.holder = holderIn(fd);
      } else {
        attempt.problem = failure("lock", file, error);
      }
      ::close(fd);
      return attempt;
    }
    if (!stillNamed(fd, file)) {
      ::close(fd);
      continue;
    }
    // Written once the lock is ours, over the number of an earlier holder: holderIn reads up to the first
    // line end, so a longer number left behind does no harm. A file open for reading only takes nothing.
    ::dprintf(fd, "%d\n", static_cast<int>(::getpid()));
    attempt.file = LockFile(fd, file);
    return attempt;
  }
  attempt.problem = "cannot lock " + file.string() + ": it was removed again and again";
  return attempt;
}

std::string anotherCopy(pid_t holder) {
  return holder > 0 ? "another zarn-vote (process " + std::to_string(holder) + ")" : "another zarn-vote";
}

NameLock& NameLock::operator=(NameLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void NameLock::release() {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
}

LockAttempt lockProgramFolder(const fs::path& folder, const std::string& space) {
  LockAttempt attempt = tryLock(folder / ".zarn-vote.lock");
  if (attempt.busy)
    return attempt;
  // Any spelling of the folder (relative, through a link) gets the one name of the folder itself.
  std::error_code error;
  fs::path canonical = fs::canonical(folder, error);
  if (error)
    canonical = folder;
  const std::string name = space + "/folder/" + nameHash(canonical.string());
  LockAttempt named = tryNameLock(name);
  if (named.busy) {
    // The file lock, if it was had, goes with `attempt`: the holder of the name may not see that file.
    named.holder = holderOfName(name);
    return named;
  }
  attempt.name = std::move(named.name);
  if (!attempt.held())
    attempt.problem += "; " + named.problem;
  return attempt;
}

bool GameLock::take(pid_t pid, std::string& message) {
  message.clear();
  const std::string process = "the game's process " + std::to_string(pid);
  const std::string started = startTimeOf(pid);
  if (started.empty()) {
    message = process + ": no such process";
    return false;
  }
  const std::string game = std::to_string(pid) + "-" + started;
  if (game == game_)
    return true;
  lock_.release();
  game_.clear();
  const std::string name = space_ + "/game/" + game;
  LockAttempt attempt = tryNameLock(name);
  if (attempt.busy) {
    if (game != busyGame_ || (busyHolder_ > 0 && ::kill(busyHolder_, 0) != 0 && errno == ESRCH)) {
      busyGame_ = game;
      busyHolder_ = holderOfName(name);
    }
    message = process + " is already driven by " + anotherCopy(busyHolder_) +
              "; this copy attaches once that one has let go of it";
    return false;
  }
  game_ = game;
  lock_ = std::move(attempt.name);
  if (!lock_.held())
    message =
        "no lock on " + process + " (" + attempt.problem + "); another zarn-vote could drive it as well";
  return true;
}

}  // namespace linuxlink
