#include "memlink/linux/copy_locks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

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

}  // namespace

LockPlaces LockPlaces::fromEnvironment() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return LockPlaces{runtime != nullptr ? runtime : "", "/tmp"};
}

fs::path LockPlaces::privateFolder(std::string& problem) const {
  std::vector<fs::path> candidates;
  // A relative $XDG_RUNTIME_DIR is invalid, and ignored.
  if (runtimeFolder.starts_with('/'))
    candidates.push_back(fs::path(runtimeFolder) / "zarn-vote");
  candidates.push_back(temporaryFolder / ("zarn-vote-" + std::to_string(::geteuid())));
  problem.clear();
  const auto refuse = [&problem](const std::string& why) { problem += (problem.empty() ? "" : "; ") + why; };
  for (const fs::path& folder : candidates) {
    struct stat status {};
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
      refuse(failure("make", folder, errno));
    else if (::lstat(folder.c_str(), &status) != 0)
      refuse(failure("examine", folder, errno));
    else if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() || (status.st_mode & 077) != 0)
      refuse(folder.string() + " is not a folder that this user alone may enter");
    else
      return folder;
  }
  return {};
}

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
    attempt.lock = LockFile(fd, file);
    return attempt;
  }
  attempt.problem = "cannot lock " + file.string() + ": it was removed again and again";
  return attempt;
}

std::string anotherCopy(pid_t holder) {
  return holder > 0 ? "another zarn-vote (process " + std::to_string(holder) + ")" : "another zarn-vote";
}

LockAttempt lockProgramFolder(const fs::path& folder, const LockPlaces& places) {
  LockAttempt inFolder = tryLock(folder / ".zarn-vote.lock");
  if (inFolder.lock.held() || inFolder.busy)
    return inFolder;
  std::string problem;
  const fs::path elsewhere = places.privateFolder(problem);
  if (elsewhere.empty()) {
    inFolder.problem += "; " + problem;
    return inFolder;
  }
  // Any spelling of the folder (relative, through a link) gets the one lock of the folder itself.
  std::error_code error;
  fs::path canonical = fs::canonical(folder, error);
  if (error)
    canonical = folder;
  LockAttempt outside = tryLock(elsewhere / ("folder-" + nameHash(canonical.string()) + ".lock"));
  if (!outside.problem.empty())
    outside.problem = inFolder.problem + "; " + outside.problem;
  return outside;
}

GameLock::GameLock(LockPlaces places) : places_(std::move(places)) {}

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
  std::string problem;
  const fs::path folder = places_.privateFolder(problem);
  LockAttempt attempt = folder.empty() ? LockAttempt{} : tryLock(folder / ("game-" + game + ".lock"));
  if (attempt.busy) {
    message = process + " is already driven by " + anotherCopy(attempt.holder) +
              "; this copy attaches once that one has let go of it";
    return false;
  }
  game_ = game;
  lock_ = std::move(attempt.lock);
  if (!lock_.held())
    message = "no lock on " + process + " (" + (folder.empty() ? problem : attempt.problem) +
              "); another zarn-vote could drive it as well";
  return true;
}

}  // namespace linuxlink
