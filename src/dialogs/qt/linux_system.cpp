#include "dialogs/qt/linux_system.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "common/runtime_error.h"
#include "dialogs/about_box.h"

LinuxSystem::LinuxSystem(std::optional<QString> searchPath) {
  QStringList folders;
  if (searchPath)
    folders = searchPath->split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const QString& name : kSystemInfoPrograms) {
    program_ = QStandardPaths::findExecutable(name, folders);
    if (!program_.isEmpty())
      break;
  }
}

std::optional<RegistryKey> LinuxSystem::RegOpenKeyEx(RegistryRoot root, const std::string& keyPath,
                                                     std::uint32_t) {
  if (program_.isEmpty() || root != RegistryRoot::LocalMachine || keyPath != kSysInfoPathKey)
    return std::nullopt;
  const RegistryKey key{nextHandle_++};
  open_[key.handle] = keyPath;
  return key;
}

std::optional<RegistryValue> LinuxSystem::RegQueryValueEx(const RegistryKey& key,
                                                          const std::string& valueName,
                                                          std::uint32_t bufferSize) {
  if (open_.count(key.handle) == 0 || valueName != kSysInfoPathValue)
    return std::nullopt;
  const QByteArray path = program_.toLocal8Bit();
  // Stored as a text value with its terminating zero, as Windows keeps it.
  const auto size = static_cast<std::uint32_t>(path.size()) + 1;
  if (size > bufferSize)
    return std::nullopt;
  RegistryValue value;
  value.type = kRegistryText;
  value.bytes.assign(bufferSize, 0);
  std::copy(path.begin(), path.end(), value.bytes.begin());
  value.reportedSize = size;
  return value;
}

void LinuxSystem::RegCloseKey(const RegistryKey& key) {
  open_.erase(key.handle);
}

bool LinuxSystem::fileExists(const std::string& path) {
  return QFileInfo(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()))).isFile();
}

void LinuxSystem::startProgram(const std::string& path) {
  const QString program = QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
  if (!QProcess::startDetached(program, {}))
    throw RuntimeError("cannot start " + path);
}
