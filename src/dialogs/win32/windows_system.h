// The About box's view of Windows: the real registry through advapi32, a directory search for one file,
// and program start-up through the shell.
#pragma once

#include <windows.h>

#include "dialogs/dialog_ports.h"

class WindowsSystem final : public SystemPort {
 public:
  std::optional<RegistryKey> RegOpenKeyEx(RegistryRoot root, const std::string& keyPath,
                                          std::uint32_t access) override;
  std::optional<RegistryValue> RegQueryValueEx(const RegistryKey& key, const std::string& valueName,
                                               std::uint32_t bufferSize) override;
  void RegCloseKey(const RegistryKey& key) override;
  bool fileExists(const std::string& path) override;
  // Raises RuntimeError with Windows' reason when the program does not start.
  void startProgram(const std::string& path) override;
};
