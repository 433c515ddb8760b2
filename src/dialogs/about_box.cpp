// The About box's handlers and its system-information launcher.
#include "dialogs/about_box.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <optional>
#include <vector>

#include "common/runtime_error.h"

namespace {

std::string hexByte(unsigned char byte) {
  constexpr const char* kDigits = "0123456789ABCDEF";
  return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

}  // namespace

frmAbout::frmAbout(SystemPort& system, DialogWindowPort& window, TickNesting& ticks)
    : system_(system), window_(window), ticks_(ticks) {}

void frmAbout::Form_Load() {
  lblVersion = "Version " + std::to_string(kProgramVersion.majorVersion) + "." +
               std::to_string(kProgramVersion.minorVersion) + "." + std::to_string(kProgramVersion.revision);
}

void frmAbout::cmdOK_Click() {
  window_.close();
}

void frmAbout::cmdSysInfo_Click() {
  StartSysInfo();
}

void frmAbout::StartSysInfo() {
  try {
    std::string path;
    // The recorded full path is trusted as it is; a wrong one shows up as a failed start.
    if (!GetKeyValue(RegistryRoot::LocalMachine, kSysInfoPathKey, kSysInfoPathValue, path)) {
      if (!GetKeyValue(RegistryRoot::LocalMachine, kSysInfoFolderKey, kSysInfoFolderValue, path) ||
          !system_.fileExists(path + kSysInfoFileName)) {
        showMarkedNotice(window_, ticks_, kSysInfoUnavailable);
        return;
      }
      path += kSysInfoFileName;
    }
    system_.startProgram(path);
  } catch (const std::exception&) {
    showMarkedNotice(window_, ticks_, kSysInfoUnavailable);
  }
}

bool frmAbout::GetKeyValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                           std::string& value) {
  const std::optional<RegistryKey> key = system_.RegOpenKeyEx(root, keyPath, kRegistryKeyAccess);
  if (!key) {
    value.clear();
    return false;
  }
  bool found = false;
  try {
    found = readValue(*key, valueName, value);
  } catch (...) {
    // A key left open on the error path would leak its handle for the life of the program.
    system_.RegCloseKey(*key);
    throw;
  }
  system_.RegCloseKey(*key);
  return found;
}

bool frmAbout::readValue(const RegistryKey& key, const std::string& valueName, std::string& value) {
  const std::optional<RegistryValue> answer = system_.RegQueryValueEx(key, valueName, kRegistryBufferSize);
  if (!answer) {
    value.clear();
    return false;
  }
  // Our own zeroed buffer of the size asked for, whatever length the answer came in.
  std::vector<unsigned char> buffer(kRegistryBufferSize, 0);
  std::copy_n(answer->bytes.begin(), std::min<std::size_t>(answer->bytes.size(), buffer.size()),
              buffer.begin());

  // The value's last byte is tested for a terminating zero; a size of 0 leaves no byte to test, and one past
  // the buffer names a byte that was never read.
  const std::size_t size = answer->reportedSize;
  if (size == 0 || size > buffer.size())
    throw RuntimeError("Invalid procedure call or argument");
  const std::size_t kept = buffer[size - 1] == 0 ? size - 1 : size;

  switch (answer->type) {
    case kRegistryText:
      value.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(kept));
      break;
    case kRegistryDword:
      // Stored least significant byte first; written the other way round, as numbers are read.
      value = "&h";
      for (std::size_t i = kept; i > 0; --i)
        value += hexByte(buffer[i - 1]);
      break;
    default:
      break;
  }
  return true;
}
