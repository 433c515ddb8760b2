#include "memlink/windows/game_process.h"

#include "common/windows/last_error.h"

namespace winlink {
namespace {

std::size_t pageSize() {
  static const std::size_t size = [] {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return static_cast<std::size_t>(system.dwPageSize);
  }();
  return size;
}

MemoryFailure failureOf(DWORD code) {
  MemoryFailure failure{code, windowsErrorText(code), false};
  if (code == ERROR_PARTIAL_COPY || code == ERROR_NOACCESS || code == ERROR_INVALID_ADDRESS) {
    failure.noMemory = true;
    failure.description = "no memory at that address (" + failure.description + ")";
  } else if (code == ERROR_ACCESS_DENIED) {
    failure.description += "; " + accessRemedy();
  }
  return failure;
}

LPVOID at(std::uint64_t address) {
  return reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(address));
}

}  // namespace

std::optional<GameProcess> GameProcess::open(DWORD pid, std::string& problem) {
  const std::string process = "the game's process " + std::to_string(pid);
  Handle handle(OpenProcess(PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
                                PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE,
                            FALSE, pid));
  if (!handle) {
    const DWORD error = GetLastError();
    // A process that ended between the window search and here has no number any more.
    problem = process + ": " +
              (error == ERROR_INVALID_PARAMETER ? "no such process (" + windowsErrorText(error) + ")"
                                                : failureOf(error).description);
    return std::nullopt;
  }
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (!GetProcessTimes(handle.get(), &created, &exited, &kernel, &user)) {
    problem = process + ": cannot tell when it started: " + lastErrorText();
    return std::nullopt;
  }
  GameProcess game(std::move(handle), pid,
                   (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
  if (game.ended()) {
    problem = process + " has ended";
    return std::nullopt;
  }
  return game;
}

bool GameProcess::ended() const {
  return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
}

bool GameProcess::readText(std::uint64_t address, std::size_t maxLength, std::string& text,
                           MemoryFailure& failure) const {
  const auto read = [this](std::uint64_t from, char* bytes, std::size_t length, MemoryFailure& failed) {
    SIZE_T moved = 0;
    if (ReadProcessMemory(process_.get(), at(from), bytes, length, &moved) && moved == length)
      return true;
    failed = failureOf(moved == length ? GetLastError() : ERROR_PARTIAL_COPY);
    return false;
  };
  return winlink::readText(read, address, maxLength, pageSize(), text, failure);
}

bool GameProcess::writeBytes(std::uint64_t address, std::string_view bytes, MemoryFailure& failure) const {
  const auto write = [this](std::uint64_t to, char* from, std::size_t length, MemoryFailure& failed) {
    SIZE_T moved = 0;
    if (WriteProcessMemory(process_.get(), at(to), from, length, &moved) && moved == length)
      return true;
    failed = failureOf(moved == length ? GetLastError() : ERROR_PARTIAL_COPY);
    return false;
  };
  return winlink::writeBytes(write, address, bytes, pageSize(), failure);
}

bool GameLock::take(const GameProcess& game, std::string& message) {
  message.clear();
  const std::string name = gameLockName(game.pid(), game.startTime());
  if (name == name_)
    return true;
  lock_.reset();
  name_.clear();
  Handle lock(
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD), name.c_str()));
  const DWORD error = GetLastError();
  if (!lock) {
    name_ = name;
    message = "no lock on the game's process " + std::to_string(game.pid()) + " (cannot make " + name + ": " +
              windowsErrorText(error) + "); another zarn-vote could drive it as well";
    return true;
  }
  MappedView holder(MapViewOfFile(lock.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(DWORD)));
  auto* number = static_cast<volatile LONG*>(holder.get());
  if (error == ERROR_ALREADY_EXISTS) {
    // A holder writes its number just after it made the lock: 0 until then.
    const LONG held = number != nullptr ? *number : 0;
    message = gameDrivenElsewhere(game.pid(), static_cast<std::uint32_t>(held));
    return false;
  }
  if (number != nullptr)
    *number = static_cast<LONG>(GetCurrentProcessId());
  name_ = name;
  lock_ = std::move(lock);
  return true;
}

}  // namespace winlink
