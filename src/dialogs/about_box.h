// The About box: program title, version, description, disclaimer and credits, and a button that starts the
// operating system's system-information program, found through the registry as Windows records it.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/dialog_ports.h"

struct VersionRecord {
  int majorVersion;
  int minorVersion;
  int revision;
};

// The program's version; the program file's version resource says 1.0.0.0.
inline constexpr VersionRecord kProgramVersion{1, 0, 0};

// Fixed texts of the window, for the window layer.
inline constexpr const char* kAboutCaption = "About";
inline constexpr const char* kAboutOkCaption = "OK";
inline constexpr const char* kAboutSysInfoCaption = "&System Info...";
inline constexpr const char* kAboutTitle = "Voting System";
inline constexpr const char* kAboutDescription =
    "Lets the players of the game vote a player out of the game or vote for a change of map.";
// Runs of blanks push the word-wrapping label onto its next line.
inline constexpr const char* kAboutDisclaimer =
    "Warning: ... Use this program at your own risk -"
    "                                "  // 32 blanks
    "I cannot be held responsible for any"
    "                               "  // 31 blanks
    "problems"
    "  "
    "which arrise out of the use"
    "                             "  // 29 blanks
    "of this software.";
inline constexpr const char* kAboutCredits =
    "Many thanks to the author of the memory control, without which this program could not reach the game.";

inline constexpr const char* kSysInfoUnavailable = "System Information Is Unavailable At This Time";

// Where Windows records the system-information program: its full path, or else the folder that holds it.
inline constexpr const char* kSysInfoPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* kSysInfoPathValue = "PATH";
inline constexpr const char* kSysInfoFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* kSysInfoFolderValue = "MSINFO";
inline constexpr const char* kSysInfoFileName = "\\MSINFO32.EXE";

// Query, set, create-subkey, enumerate, notify and create-link rights plus read-control.
inline constexpr std::uint32_t kRegistryKeyAccess = 0x2003F;
inline constexpr std::uint32_t kRegistryBufferSize = 1024;

class frmAbout {
 public:
  // `ticks` is the main window's tick record, on which the box's notice is marked while open.
  frmAbout(SystemPort& system, DialogWindowPort& window, TickNesting& ticks);

  // Puts the version into lblVersion.
  void Form_Load();
  // OK, Enter and Escape: close.
  void cmdOK_Click();
  void cmdSysInfo_Click();

  // Starts the system-information program, or tells the operator that it is unavailable. Every failure on
  // the way, a failed start included, ends in that notice; the About box stays open either way.
  void StartSysInfo();

  // Reads the value `valueName` of the key `keyPath` under `root` into `value` and reports whether it was
  // found. A text value becomes the text; a 32-bit number becomes "&h" and its bytes in hexadecimal, most
  // significant first; a value of any other type is found but leaves `value` as the caller had it. When the
  // key or the value is missing, `value` is emptied. A value of no bytes, or one larger than the buffer, is
  // a run-time error (RuntimeError); the key is closed on every way out.
  bool GetKeyValue(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                   std::string& value);

  // The version line; "Version" until Form_Load.
  std::string lblVersion = "Version";

 private:
  bool readValue(const RegistryKey& key, const std::string& valueName, std::string& value);

  SystemPort& system_;
  DialogWindowPort& window_;
  TickNesting& ticks_;
};
