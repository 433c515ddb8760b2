// Reader and writer of the settings file, a profile (INI) file that operators edit by hand:
//   [Section]
//   Key=Value
// Reading behaves as the Windows profile functions do on such files, so existing files keep working:
// section and key names match without regard to letter case, blanks around names and values do not count,
// a value in one matching pair of double or single quotes loses them, a line whose first non-blank
// character is ';' is a comment, the first matching section and key win, and CR LF, LF or a lone CR each
// end a line. Values and defaults come back cut to 254 characters. Two sound departures: a UTF-8
// byte-order mark does not hide the first section, and a write never leaves a half-written file behind.
#pragma once

#include <string>

namespace INI {

// The value of the key in the section of the file at `path`, or `defaultValue` when the file, the section
// or the key is absent. A key present with an empty value gives the empty text.
std::string ReadIniValue(const std::string& path, const std::string& section, const std::string& key,
                         const std::string& defaultValue);

// Sets the key in the section, creating the file, the section or the key as needed; every other byte of
// the file stays as it was. Always returns 0: a write that fails is not reported.
short WriteIniValue(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);

}  // namespace INI
