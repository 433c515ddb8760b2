// What the three small windows (punt/ban dialog, game version chooser, About box) ask of the outside:
// their own window on screen, and for the About box the registry, the file system and program start-up.
// The window layer and the tests implement these ports; the dialogs' logic stays free of any window system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/tick_nesting.h"

// Windows' headers spell these names as macros for their A and W variants; the port keeps its own names
// in every file, whether it sees those headers first or not.
#ifdef RegOpenKeyEx
#undef RegOpenKeyEx
#endif
#ifdef RegQueryValueEx
#undef RegQueryValueEx
#endif

// One open dialog window. The window layer makes one per window it shows and drops it when the window goes.
class DialogWindowPort {
 public:
  virtual ~DialogWindowPort() = default;

  // A modal notice with an OK button only and the program's title; returns when the operator closed it.
  virtual void showNotice(const std::string& text) = 0;

  // Close (unload) this dialog window. The handler that calls it returns normally afterwards.
  virtual void close() = 0;
};

// Shows a dialog's notice, marked on the main window's tick record while it is open: the ticks keep firing
// behind a modal notice, and the chat must be read meanwhile even when the notice opened inside a
// collection tick's yield.
inline void showMarkedNotice(DialogWindowPort& window, TickNesting& ticks, const std::string& text) {
  const TickNesting::Scope open(ticks, TickNesting::Frame::Notice);
  window.showNotice(text);
}

// Registry roots, with the values of the Windows handles so that a Windows adapter can hand them on as they
// are. Named without the HKEY_ spelling, which the Windows headers take as macros.
enum class RegistryRoot : std::uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
};

// An open registry key, valid from the RegOpenKeyEx that gave it until RegCloseKey.
struct RegistryKey {
  std::uint64_t handle = 0;
};

// Registry value types the About box tells apart.
inline constexpr std::uint32_t kRegistryText = 1;   // REG_SZ
inline constexpr std::uint32_t kRegistryDword = 4;  // REG_DWORD, little-endian

// The answer of a successful value query.
struct RegistryValue {
  std::uint32_t type = 0;
  // The buffer as the query left it: `bufferSize` bytes, zero past the value's data.
  std::vector<unsigned char> bytes;
  // The size the query reports for the value, in bytes (with a text's terminating zero where it is stored).
  std::uint32_t reportedSize = 0;
};

// The operating system as the About box's system-information launcher sees it. The three registry calls
// follow advapi32's RegOpenKeyExA, RegQueryValueExA and RegCloseKey, so the lookup works the same on every
// system the adapter maps them to.
class SystemPort {
 public:
  virtual ~SystemPort() = default;

  // Opens the key at `keyPath` under `root` with the access rights `access`; nothing when that fails.
  virtual std::optional<RegistryKey> RegOpenKeyEx(RegistryRoot root, const std::string& keyPath,
                                                  std::uint32_t access) = 0;

  // Reads the value `valueName` of an open key into a zeroed buffer of `bufferSize` bytes; nothing when the
  // value is absent or does not fit.
  virtual std::optional<RegistryValue> RegQueryValueEx(const RegistryKey& key, const std::string& valueName,
                                                       std::uint32_t bufferSize) = 0;

  virtual void RegCloseKey(const RegistryKey& key) = 0;

  // Whether a directory search for exactly this file path finds a file.
  virtual bool fileExists(const std::string& path) = 0;

  // Starts the program at `path`, its window shown normally and given the focus, and returns without waiting
  // for it. Throws RuntimeError when the program cannot be started.
  virtual void startProgram(const std::string& path) = 0;
};
