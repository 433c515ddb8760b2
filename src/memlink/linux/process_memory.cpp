#include "memlink/linux/process_memory.h"

#include <poll.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace linuxlink {
namespace {

std::size_t pageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

// Bytes from `address` to the end of its page.
std::size_t toPageEnd(std::uint64_t address) {
  return pageSize() - static_cast<std::size_t>(address % pageSize());
}

ProcessMemoryFailure failureOf(int error) {
  ProcessMemoryFailure failure{error, std::strerror(error)};
  if (error == ESRCH)
    failure.description = "no such process";
  else if (error == EFAULT)
    failure.description = "no memory at that address (Bad address)";
  else if (error == EPERM || error == EACCES)
    failure.description = std::string(std::strerror(error)) + "; " + permissionRemedy();
  return failure;
}

// One transfer that stays inside one page; the count moved, or -1 with errno.
ssize_t transfer(pid_t pid, std::uint64_t address, char* local, std::size_t length, bool write) {
  iovec here{local, length};
  iovec there{reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), length};
  return write ? process_vm_writev(pid, &here, 1, &there, 1, 0)
               : process_vm_readv(pid, &here, 1, &there, 1, 0);
}

}  // namespace

bool readText(pid_t pid, std::uint64_t address, std::size_t maxLength, std::string& text,
              ProcessMemoryFailure& failure) {
  text.clear();
  char buffer[4096];
  while (text.size() < maxLength) {
    const std::size_t chunk = std::min({maxLength - text.size(), toPageEnd(address), sizeof buffer});
    const ssize_t got = transfer(pid, address, buffer, chunk, false);
    if (got <= 0) {
      if (!text.empty() && (got == 0 || errno == EFAULT))
        return true;  // the string runs into unmapped memory: it ends at the page edge
      failure = failureOf(got == 0 ? EFAULT : errno);
      return false;
    }
    const auto count = static_cast<std::size_t>(got);
    const char* end = static_cast<const char*>(std::memchr(buffer, '\0', count));
    if (end != nullptr) {
      text.append(buffer, static_cast<std::size_t>(end - buffer));
      return true;
    }
    text.append(buffer, count);
    address += count;
  }
  return true;
}

bool writeBytes(pid_t pid, std::uint64_t address, std::string_view bytes, ProcessMemoryFailure& failure) {
  std::string copy(bytes);
  std::size_t done = 0;
  while (done < copy.size()) {
    const std::size_t chunk = std::min(copy.size() - done, toPageEnd(address + done));
    const ssize_t put = transfer(pid, address + done, copy.data() + done, chunk, true);
    if (put <= 0) {
      failure = failureOf(put == 0 ? EFAULT : errno);
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool processAlive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return false;
  // The state follows the command name in parentheses, which may itself hold blanks and parentheses.
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size())
    return false;
  const char state = line[close + 2];
  return state != 'Z' && state != 'X';
}

ProcessWatch::ProcessWatch(pid_t pid) : pid_(pid), fd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}

ProcessWatch::~ProcessWatch() {
  if (fd_ >= 0)
    ::close(fd_);
}

ProcessWatch::ProcessWatch(ProcessWatch&& other) noexcept : pid_(other.pid_), fd_(other.fd_) {
  other.fd_ = -1;
}

ProcessWatch& ProcessWatch::operator=(ProcessWatch&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      ::close(fd_);
    pid_ = other.pid_;
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool ProcessWatch::ended() const {
  if (fd_ < 0)
    return !processAlive(pid_);
  // A process descriptor becomes readable when its process ends.
  pollfd watch{fd_, POLLIN, 0};
  return ::poll(&watch, 1, 0) != 0;
}

bool memoryReadable(pid_t pid, ProcessMemoryFailure& failure) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  if (!maps) {
    failure = failureOf(processAlive(pid) ? EACCES : ESRCH);
    return false;
  }
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream fields(line);
    std::uint64_t start = 0;
    std::string range;
    std::string permissions;
    fields >> range >> permissions;
    if (permissions.empty() || permissions[0] != 'r')
      continue;
    start = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
    char byte = 0;
    if (transfer(pid, start, &byte, 1, false) == 1)
      return true;
    failure = failureOf(errno);
    return false;
  }
  // An empty or unreadable map: a zombie, or maps refused to us.
  failure = failureOf(processAlive(pid) ? EACCES : ESRCH);
  return false;
}

std::string permissionRemedy() {
  std::string scope;
  std::ifstream("/proc/sys/kernel/yama/ptrace_scope") >> scope;
  const std::string yama =
      scope.empty() ? "this kernel has no Yama ptrace_scope" : "Yama ptrace_scope is " + scope;
  return "reading the game's memory needs the right to attach a debugger to it: run as the game's user "
         "(" +
         yama +
         "; with 1 or more also give the program CAP_SYS_PTRACE, e.g. setcap cap_sys_ptrace+ep, or lower "
         "ptrace_scope), or as root";
}

}  // namespace linuxlink
