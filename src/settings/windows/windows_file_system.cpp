// The settings file's operations on Windows, through the wide-character calls so that any folder name
// works. Windows has no owner and group to keep and no permission bits: a file is read-only or not. The
// read-only attribute stands for "no write bit" here, and a writable file reports read and write for all,
// so the writer's rules (keep the permissions, refuse a read-only file) mean the same as elsewhere.
#include <windows.h>

#include "settings/file_system.h"

namespace settings {
namespace {

namespace fs = std::filesystem;

constexpr auto kWritable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
constexpr auto kReadable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

// The few errors the writer tells apart carry their portable meaning; the rest keep Windows' own code,
// whose message is Windows' text.
std::error_code errorOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return std::make_error_code(std::errc::file_exists);
    case ERROR_ACCESS_DENIED:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::make_error_code(std::errc::no_space_on_device);
    default:
      return {static_cast<int>(code), std::system_category()};
  }
}

std::error_code lastError() {
  return errorOf(GetLastError());
}

std::error_code outcome(BOOL succeeded) {
  return succeeded ? std::error_code() : lastError();
}

HANDLE handleOf(FileHandle file) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file));
}

FileResult<FileHandle> opened(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE)
    return {FileHandle{}, lastError()};
  return {FileHandle{reinterpret_cast<std::intptr_t>(handle)}, {}};
}

// Others may read, write, rename or delete the file while it is open here, as on POSIX: a reader of the
// settings must not keep the writer from putting a new file in its place.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileResult<FileStatus> statusOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info))
    return {FileStatus{}, lastError()};
  FileStatus status;
  const DWORD attributes = info.dwFileAttributes;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    status.kind = FileStatus::Kind::kFolder;
  else if (GetFileType(handle) == FILE_TYPE_DISK && !(attributes & FILE_ATTRIBUTE_DEVICE))
    status.kind = FileStatus::Kind::kRegular;
  status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  status.permissions = (attributes & FILE_ATTRIBUTE_READONLY) ? kReadable : kReadable | kWritable;
  status.links = info.nNumberOfLinks;
  return {status, {}};
}

// A handle closed when it goes out of scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() {
    if (handle_ != INVALID_HANDLE_VALUE)
      CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

// ReadFile and WriteFile move at most 4 GiB less one byte at a time.
DWORD chunk(std::size_t size) {
  return static_cast<DWORD>(size < 0xFFFFFFFFu ? size : 0xFFFFFFFFu);
}

class WindowsFileSystem final : public FileSystem {
 public:
  FileResult<FileStatus> status(const fs::path& path) override {
    // Opened for no access at all: that reads the attributes and the link count even of a file that is
    // locked or unreadable. Backup semantics lets a folder open too.
    const ScopedHandle file(CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
      return {FileStatus{}, lastError()};
    return statusOfHandle(file.get());
  }

  FileResult<FileStatus> openStatus(FileHandle file) override { return statusOfHandle(handleOf(file)); }

  FileResult<FileHandle> open(const fs::path& path, Access access) override {
    const DWORD wanted = access == Access::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    return opened(CreateFileW(path.c_str(), wanted, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
  }

  FileResult<FileHandle> create(const fs::path& path, fs::perms permissions) override {
    // Always writable while it is written; setPermissions makes it read-only afterwards if it must be.
    static_cast<void>(permissions);
    return opened(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  FileResult<std::size_t> readAt(FileHandle file, std::span<char> buffer, std::uint64_t offset) override {
    OVERLAPPED position = at(offset);
    DWORD moved = 0;
    if (!ReadFile(handleOf(file), buffer.data(), chunk(buffer.size()), &moved, &position)) {
      if (GetLastError() == ERROR_HANDLE_EOF)
        return {0, {}};
      return {0, lastError()};
    }
    return {moved, {}};
  }

  FileResult<std::size_t> writeAt(FileHandle file, std::string_view bytes, std::uint64_t offset) override {
    OVERLAPPED position = at(offset);
    DWORD moved = 0;
    if (!WriteFile(handleOf(file), bytes.data(), chunk(bytes.size()), &moved, &position))
      return {0, lastError()};
    return {moved, {}};
  }

  std::error_code resize(FileHandle file, std::uint64_t size) override {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return outcome(SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end));
  }

  std::error_code flush(FileHandle file) override { return outcome(FlushFileBuffers(handleOf(file))); }

  // A new file takes its owner and access list from its folder, as a file the operator made there would.
  std::error_code setOwner(FileHandle, std::uint32_t, std::uint32_t) override { return {}; }

  std::error_code setPermissions(FileHandle file, fs::perms permissions) override {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(handleOf(file), FileBasicInfo, &basic, sizeof basic))
      return lastError();
    if ((permissions & kWritable) == fs::perms::none)
      basic.FileAttributes |= FILE_ATTRIBUTE_READONLY;
    else
      basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0)
      basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return outcome(SetFileInformationByHandle(handleOf(file), FileBasicInfo, &basic, sizeof basic));
  }

  std::error_code close(FileHandle file) override { return outcome(CloseHandle(handleOf(file))); }

  // Write-through: the call returns once the new name is on the disk too.
  std::error_code rename(const fs::path& from, const fs::path& to) override {
    return outcome(MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  }

  std::error_code remove(const fs::path& path) override { return outcome(DeleteFileW(path.c_str())); }
};

}  // namespace

FileSystem& systemFileSystem() {
  static WindowsFileSystem files;
  return files;
}

}  // namespace settings
