#include "dialogs/win32/windows_system.h"

#include <windows.h>

#include <shellapi.h>

#include "common/runtime_error.h"
#include "common/windows/last_error.h"

namespace {

HKEY handleOf(const RegistryKey& key) {
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key.handle));
}

// A directory search, closed with its owner.
class FileSearch {
 public:
  explicit FileSearch(const std::string& path) : handle_(FindFirstFileA(path.c_str(), &found_)) {}
  ~FileSearch() {
    if (handle_ != INVALID_HANDLE_VALUE)
      FindClose(handle_);
  }
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;

  bool foundFile() const {
    return handle_ != INVALID_HANDLE_VALUE && (found_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

 private:
  WIN32_FIND_DATAA found_{};
  HANDLE handle_;
};

}  // namespace

std::optional<RegistryKey> WindowsSystem::RegOpenKeyEx(RegistryRoot root, const std::string& keyPath,
                                                       std::uint32_t access) {
  // The predefined roots are 32-bit values sign-extended to a handle's width.
  HKEY rootKey = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
  HKEY key = nullptr;
  if (RegOpenKeyExA(rootKey, keyPath.c_str(), 0, access, &key) != ERROR_SUCCESS)
    return std::nullopt;
  return RegistryKey{static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key))};
}

std::optional<RegistryValue> WindowsSystem::RegQueryValueEx(const RegistryKey& key, const std::string& valueName,
                                                            std::uint32_t bufferSize) {
  RegistryValue value;
  value.bytes.assign(bufferSize, 0);
  DWORD type = 0;
  DWORD size = bufferSize;
  if (RegQueryValueExA(handleOf(key), valueName.c_str(), nullptr, &type, value.bytes.data(), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  value.type = type;
  value.reportedSize = size;
  return value;
}

void WindowsSystem::RegCloseKey(const RegistryKey& key) {
  ::RegCloseKey(handleOf(key));
}

bool WindowsSystem::fileExists(const std::string& path) {
  return FileSearch(path).foundFile();
}

void WindowsSystem::startProgram(const std::string& path) {
  SHELLEXECUTEINFOA start{};
  start.cbSize = sizeof start;
  start.fMask = SEE_MASK_FLAG_NO_UI;
  start.lpVerb = "open";
  start.lpFile = path.c_str();
  start.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&start))
    throw RuntimeError("cannot start " + path + ": " + lastErrorText());
}
