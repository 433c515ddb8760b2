#include "support/dialog_doubles.h"

#include <algorithm>
#include <cstdio>

#include "app/runtime_error.h"

namespace {

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

void RecordingDialogWindow::showNotice(const std::string& text) {
  journal_.add("Notice " + text);
  if (whileNoticeOpen)
    whileNoticeOpen();
}

void FakeSystem::addText(const std::string& keyPath, const std::string& valueName, const std::string& stored,
                         std::optional<std::uint32_t> reportedSize) {
  RegistryValue value;
  value.type = kRegistryText;
  value.bytes.assign(std::max<std::size_t>(1024, stored.size()), 0);
  std::copy(stored.begin(), stored.end(), value.bytes.begin());
  value.reportedSize = reportedSize.value_or(static_cast<std::uint32_t>(stored.size()));
  addValue(keyPath, valueName, std::move(value));
}

std::optional<RegistryKey> FakeSystem::RegOpenKeyEx(RegistryRoot root, const std::string& keyPath,
                                                    std::uint32_t access) {
  journal_.add("RegOpenKeyEx " + hex(static_cast<std::uint32_t>(root)) + " " + keyPath + " " + hex(access));
  if (keys_.count(keyPath) == 0)
    return std::nullopt;
  const std::uint64_t handle = nextHandle_++;
  open_[handle] = keyPath;
  return RegistryKey{handle};
}

std::optional<RegistryValue> FakeSystem::RegQueryValueEx(const RegistryKey& key, const std::string& valueName,
                                                         std::uint32_t bufferSize) {
  journal_.add("RegQueryValueEx " + std::to_string(key.handle) + " " + valueName + " " +
               std::to_string(bufferSize));
  const auto openKey = open_.find(key.handle);
  if (openKey == open_.end())
    throw RuntimeError("query on a key that is not open");
  const auto& values = keys_.at(openKey->second);
  const auto value = values.find(valueName);
  if (value == values.end())
    return std::nullopt;
  return value->second;
}

void FakeSystem::RegCloseKey(const RegistryKey& key) {
  journal_.add("RegCloseKey " + std::to_string(key.handle));
  open_.erase(key.handle);
}

bool FakeSystem::fileExists(const std::string& path) {
  journal_.add("FileExists " + path);
  return files_.count(path) != 0;
}

void FakeSystem::startProgram(const std::string& path) {
  journal_.add("StartProgram " + path);
  if (failStart)
    throw RuntimeError("File not found");
}
