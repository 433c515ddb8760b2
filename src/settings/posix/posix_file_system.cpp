// The settings file's operations on a POSIX host: plain system calls, each retried when a signal
// interrupts it, with errno as the error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "settings/file_system.h"

namespace settings {
namespace {

namespace fs = std::filesystem;

std::error_code lastError() {
  return {errno, std::generic_category()};
}

std::error_code outcome(int result) {
  return result == 0 ? std::error_code() : lastError();
}

int descriptor(FileHandle file) {
  return static_cast<int>(file);
}

FileResult<FileHandle> handleOf(int fd) {
  if (fd < 0)
    return {FileHandle{}, lastError()};
  return {FileHandle{fd}, {}};
}

FileResult<FileStatus> statusOf(int result, const struct stat& raw) {
  if (result != 0)
    return {FileStatus{}, lastError()};
  FileStatus status;
  if (S_ISREG(raw.st_mode))
    status.kind = FileStatus::Kind::kRegular;
  else if (S_ISDIR(raw.st_mode))
    status.kind = FileStatus::Kind::kFolder;
  status.size = static_cast<std::uint64_t>(raw.st_size);
  status.permissions = static_cast<fs::perms>(raw.st_mode & 07777);
  status.owner = raw.st_uid;
  status.group = raw.st_gid;
  status.links = raw.st_nlink;
  return {status, {}};
}

// The bytes a read or write moved, retried while a signal interrupts it.
template <typename Call>
FileResult<std::size_t> transfer(Call call) {
  while (true) {
    const ssize_t moved = call();
    if (moved >= 0)
      return {static_cast<std::size_t>(moved), {}};
    if (errno != EINTR)
      return {0, lastError()};
  }
}

class PosixFileSystem final : public FileSystem {
 public:
  FileResult<FileStatus> status(const fs::path& path) override {
    struct stat raw {};
    return statusOf(::stat(path.c_str(), &raw), raw);
  }

  FileResult<FileStatus> openStatus(FileHandle file) override {
    struct stat raw {};
    return statusOf(::fstat(descriptor(file), &raw), raw);
  }

  FileResult<FileHandle> open(const fs::path& path, Access access) override {
    const int mode = access == Access::kRead ? O_RDONLY : O_RDWR;
    return handleOf(::open(path.c_str(), mode | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  }

  FileResult<FileHandle> create(const fs::path& path, fs::perms permissions) override {
    return handleOf(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           static_cast<mode_t>(permissions & fs::perms::mask)));
  }

  FileResult<std::size_t> readAt(FileHandle file, std::span<char> buffer, std::uint64_t offset) override {
    return transfer(
        [&] { return ::pread(descriptor(file), buffer.data(), buffer.size(), static_cast<off_t>(offset)); });
  }

  FileResult<std::size_t> writeAt(FileHandle file, std::string_view bytes, std::uint64_t offset) override {
    return transfer(
        [&] { return ::pwrite(descriptor(file), bytes.data(), bytes.size(), static_cast<off_t>(offset)); });
  }

  std::error_code resize(FileHandle file, std::uint64_t size) override {
    return outcome(::ftruncate(descriptor(file), static_cast<off_t>(size)));
  }

  std::error_code flush(FileHandle file) override { return outcome(::fsync(descriptor(file))); }

  std::error_code setOwner(FileHandle file, std::uint32_t owner, std::uint32_t group) override {
    return outcome(::fchown(descriptor(file), owner, group));
  }

  std::error_code setPermissions(FileHandle file, fs::perms permissions) override {
    return outcome(::fchmod(descriptor(file), static_cast<mode_t>(permissions & fs::perms::mask)));
  }

  std::error_code close(FileHandle file) override { return outcome(::close(descriptor(file))); }

  std::error_code rename(const fs::path& from, const fs::path& to) override {
    return outcome(::rename(from.c_str(), to.c_str()));
  }

  std::error_code remove(const fs::path& path) override { return outcome(::unlink(path.c_str())); }
};

}  // namespace

FileSystem& systemFileSystem() {
  static PosixFileSystem files;
  return files;
}

}  // namespace settings
