// The few file operations that the settings reader and writer need from the host, with errors as values.
// The standard library cannot open a file without blocking, keep a file's owner, or make sure that every
// byte reached the disk, so these come from the operating system; the rules about what to call when stay
// with the reader and writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>

namespace settings {

// An open file, as the host numbers it.
enum class FileHandle : std::intptr_t {};

struct FileStatus {
  enum class Kind { kRegular, kFolder, kOther };
  Kind kind = Kind::kOther;
  std::uint64_t size = 0;
  std::filesystem::perms permissions = std::filesystem::perms::none;  // with the set-ID and sticky bits
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  std::uint64_t links = 1;
};

// A value, or the error that kept it from being had.
template <typename T>
struct FileResult {
  T value{};
  std::error_code error;
};

class FileSystem {
 public:
  enum class Access { kRead, kReadWrite };

  virtual ~FileSystem() = default;

  // Of the file the path names, after links; std::errc::no_such_file_or_directory when there is none.
  virtual FileResult<FileStatus> status(const std::filesystem::path& path) = 0;
  virtual FileResult<FileStatus> openStatus(FileHandle file) = 0;
  // Opens an existing file without waiting, so that a FIFO or a device cannot hold the caller up.
  virtual FileResult<FileHandle> open(const std::filesystem::path& path, Access access) = 0;
  // Makes a new file for writing, with these permissions less the process's mask;
  // std::errc::file_exists when the name is taken.
  virtual FileResult<FileHandle> create(const std::filesystem::path& path,
                                        std::filesystem::perms permissions) = 0;
  // The number of bytes read into `buffer` from `offset`, 0 at the end of the file.
  virtual FileResult<std::size_t> readAt(FileHandle file, std::span<char> buffer, std::uint64_t offset) = 0;
  // The number of bytes of `bytes` written at `offset`, which may be fewer than all.
  virtual FileResult<std::size_t> writeAt(FileHandle file, std::string_view bytes, std::uint64_t offset) = 0;
  virtual std::error_code resize(FileHandle file, std::uint64_t size) = 0;
  // Returns once everything written to the file is on the disk.
  virtual std::error_code flush(FileHandle file) = 0;
  virtual std::error_code setOwner(FileHandle file, std::uint32_t owner, std::uint32_t group) = 0;
  virtual std::error_code setPermissions(FileHandle file, std::filesystem::perms permissions) = 0;
  // The handle is gone either way; an error means that the last data may not have been written out.
  virtual std::error_code close(FileHandle file) = 0;
  // Puts the file `from` in the place of `to` in one step.
  virtual std::error_code rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual std::error_code remove(const std::filesystem::path& path) = 0;
};

// The host's file operations, from the adapter built for it.
FileSystem& systemFileSystem();

}  // namespace settings
