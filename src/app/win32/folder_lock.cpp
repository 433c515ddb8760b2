#include "app/win32/folder_lock.h"

#include <cstdlib>
#include <utility>

#include "common/windows/last_error.h"

FolderLock::~FolderLock() {
  if (held())
    CloseHandle(file_);
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : busy(other.busy),
      holder(other.holder),
      problem(std::move(other.problem)),
      file_(std::exchange(other.file_, INVALID_HANDLE_VALUE)) {}

FolderLock FolderLock::take(const std::filesystem::path& folder) {
  FolderLock lock;
  const std::filesystem::path file = folder / ".zarn-vote.lock";
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION) {
      lock.problem = windowsErrorText(error);
      return lock;
    }
    lock.busy = true;
    const HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (reader != INVALID_HANDLE_VALUE) {
      char digits[16] = {};
      DWORD got = 0;
      if (ReadFile(reader, digits, sizeof digits - 1, &got, nullptr))
        lock.holder = static_cast<DWORD>(std::strtoul(digits, nullptr, 10));
      CloseHandle(reader);
    }
    return lock;
  }
  lock.file_ = handle;
  const std::string pid = std::to_string(GetCurrentProcessId());
  DWORD written = 0;
  SetEndOfFile(handle);
  WriteFile(handle, pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr);
  return lock;
}

std::string anotherCopy(DWORD holder) {
  return holder > 0 ? "another zarn-vote (process " + std::to_string(holder) + ")" : "another zarn-vote";
}
