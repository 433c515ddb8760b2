// One copy of zarn-vote per program folder on Windows: ".zarn-vote.lock" in the folder, held open for
// writing and shared for reading only. Windows lets go of it however the holder ends; a second copy cannot
// open it for writing, and reads the holder's process number from it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) = delete;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool held() const { return file_ != INVALID_HANDLE_VALUE; }

  // Tries once, without waiting.
  static FolderLock take(const std::filesystem::path& folder);

  bool busy = false;
  DWORD holder = 0;     // when busy: the holder's process number, 0 when it is not known
  std::string problem;  // when neither held nor busy: why, in Windows' words

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// "another zarn-vote (process 1234)", or without the number when it is not known.
std::string anotherCopy(DWORD holder);
