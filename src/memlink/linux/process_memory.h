// Another process's memory, read and written with process_vm_readv / process_vm_writev. The game's data
// lies at fixed addresses in its process; these calls need the same right as attaching a debugger.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace linuxlink {

// Why a call on another process failed: errno and the words an operator reads in the error log.
struct ProcessMemoryFailure {
  int error = 0;
  std::string description;
};

// The text at `address` in process `pid`: at most `maxLength` bytes, up to the first NUL. Memory is read
// one page at a time, so a string that runs into unmapped memory ends at the page edge. Nothing when the
// first byte cannot be read; `failure` then says why.
bool readText(pid_t pid, std::uint64_t address, std::size_t maxLength, std::string& text,
              ProcessMemoryFailure& failure);

// Writes exactly these bytes at `address`, one page at a time; false with the reason when any byte did
// not land.
bool writeBytes(pid_t pid, std::uint64_t address, std::string_view bytes, ProcessMemoryFailure& failure);

// Whether the process exists and is not a zombie (an ended process that nobody reaped yet).
bool processAlive(pid_t pid);

// A process descriptor (pidfd) for one process: it tells cheaply, and without being fooled by a new
// process that got the same number, whether that process has ended.
class ProcessWatch {
 public:
  ProcessWatch() = default;
  explicit ProcessWatch(pid_t pid);
  ~ProcessWatch();
  ProcessWatch(ProcessWatch&& other) noexcept;
  ProcessWatch& operator=(ProcessWatch&& other) noexcept;
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;

  // True once the process has ended (a zombie included). Without a descriptor (a kernel before 5.3)
  // it asks /proc instead.
  bool ended() const;

 private:
  pid_t pid_ = 0;
  int fd_ = -1;
};

// Whether this process may read the memory of `pid`: tries one byte of its first mapping. False with the
// reason when it may not, or the process is gone.
bool memoryReadable(pid_t pid, ProcessMemoryFailure& failure);

// What an operator must do when reading another process's memory is refused.
std::string permissionRemedy();

}  // namespace linuxlink
