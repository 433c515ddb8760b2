// The About box's view of a Linux desktop. There is no registry: the lookup of the system-information
// program's full path is answered with a system-information program found on the PATH, so that the About
// box's launcher runs unchanged; every other lookup finds nothing.
#pragma once

#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "dialogs/dialog_ports.h"

// Desktop programs that show the system's hardware and software, in the order they are preferred.
inline const QStringList kSystemInfoPrograms{
    QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
    QStringLiteral("gnome-system-monitor"), QStringLiteral("xfce4-taskmanager")};

class LinuxSystem final : public SystemPort {
 public:
  // `searchPath`: the folders to look in, as in $PATH; by default the process's own PATH.
  explicit LinuxSystem(std::optional<QString> searchPath = std::nullopt);

  std::optional<RegistryKey> RegOpenKeyEx(RegistryRoot root, const std::string& keyPath,
                                          std::uint32_t access) override;
  std::optional<RegistryValue> RegQueryValueEx(const RegistryKey& key, const std::string& valueName,
                                               std::uint32_t bufferSize) override;
  void RegCloseKey(const RegistryKey& key) override;
  bool fileExists(const std::string& path) override;
  void startProgram(const std::string& path) override;

  // The system-information program found, empty when there is none.
  QString systemInfoProgram() const { return program_; }

 private:
  QString program_;
  std::map<std::uint64_t, std::string> open_;
  std::uint64_t nextHandle_ = 1;
};
