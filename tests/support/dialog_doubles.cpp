#include "support/dialog_doubles.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "common/runtime_error.h"

void RecordingDialogWindow::showNotice(const std::string& text) {
  journal_.add("Notice " + text);
  if (whileNoticeOpen)
    whileNoticeOpen();
}

RegistryValue textValue(const std::string& stored, std::optional<std::uint32_t> reportedSize) {
  RegistryValue value{kRegistryText,
                      std::vector<unsigned char>(std::max<std::size_t>(1024, stored.size()), 0),
                      reportedSize.value_or(static_cast<std::uint32_t>(stored.size()))};
  std::copy(stored.begin(), stored.end(), value.bytes.begin());
  return value;
}

std::optional<RegistryKey> FakeSystem::RegOpenKeyEx(RegistryRoot root, const std::string& keyPath,
                                                    std::uint32_t access) {
  std::ostringstream entry;
  entry << std::hex << std::uppercase << "RegOpenKeyEx 0x" << static_cast<std::uint32_t>(root) << " "
        << keyPath << " 0x" << access;
  journal_.add(entry.str());
  if (keys_.count(keyPath) == 0)
    return std::nullopt;
  open_[nextHandle_] = keyPath;
  return RegistryKey{nextHandle_++};
}

std::optional<RegistryValue> FakeSystem::RegQueryValueEx(const RegistryKey& key, const std::string& valueName,
                                                         std::uint32_t bufferSize) {
  journal_.add("RegQueryValueEx " + std::to_string(key.handle) + " " + valueName + " " +
               std::to_string(bufferSize));
  const auto& values = keys_.at(open_.at(key.handle));  // throws on a key that is not open
  const auto value = values.find(valueName);
  return value == values.end() ? std::nullopt : std::optional<RegistryValue>(value->second);
}

void FakeSystem::RegCloseKey(const RegistryKey& key) {
  journal_.add("RegCloseKey " + std::to_string(key.handle));
  open_.erase(key.handle);
}

bool FakeSystem::fileExists(const std::string& path) {
  journal_.add("FileExists " + path);
  return files.count(path) != 0;
}

void FakeSystem::startProgram(const std::string& path) {
  journal_.add("StartProgram " + path);
  if (failStart)
    throw RuntimeError("File not found");
}
