// Reader and writer of the settings file, a profile (INI) file that operators edit by hand:
//   [Section]
//   Key=Value
// Reading and writing behave as the Windows profile functions do on such files, so existing files keep
// working:
// - Section and key names match without regard to letter case. In the file, spaces, tabs and vertical
//   tabs around names and values do not count; of the names a caller passes only surrounding spaces are
//   dropped, so a tab there is part of the name.
// - A line whose first non-blank character is ';' is a comment. A line whose first non-blank character
//   is '[' is a section header: the name ends at the first ']' and the rest of the line does not count;
//   without a ']' the name runs to the end of the line.
// - A value in one matching pair of double or single quotes loses them. The first matching section and
//   key win. CR LF, LF or a lone CR each end a line.
// - A default loses its trailing spaces, and only those. Values and defaults come back cut to 254
//   characters.
// - A write changes only its key's line, or adds the key or the section, and keeps every other byte.
// A write replaces the file through a new file beside it, so that a failure part way leaves the old file
// whole; the new file keeps the old one's permissions, and its owner where the process may set it. Where
// no file can be made beside it (a folder the program may not write to) or the file may not be replaced,
// the file is rewritten in place, its new end first, so that running out of room leaves the old content
// whole. A settings file that is a symbolic link stays one.
// Sound departures: a UTF-8 byte-order mark does not hide the first section; line breaks in written text
// become blanks, so a written value never adds a line; a file without write permission is never written.
// Only a regular file of at most 64 MB is read or written: a folder, a FIFO, a device or a socket in its
// place counts as a file that cannot be read, and is never opened, so nothing there can hold the program up.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "settings/file_system.h"

namespace INI {

// The value of the key in the section of the file at `path`, or `defaultValue` when the file, the section
// or the key is absent. A key present with an empty value gives the empty text.
std::string ReadIniValue(const std::filesystem::path& path, const std::string& section,
                         const std::string& key, const std::string& defaultValue);

// Why the file at `path` exists but cannot serve as a settings file, in a few words that follow its path
// ("Permission denied", "is a folder", "is UTF-16 text; save it as ANSI or UTF-8 text"); the empty text
// when it can be read, or when it is missing, which only means that every key has its default. Reading
// such a file gives the defaults too, which would hide what is wrong with it.
std::string unreadableReason(const std::filesystem::path& path);

// Sets the key in the section, creating the file, the section or the key as needed; every other byte of
// the file stays as it was. Always returns 0: a write that fails is not reported.
short WriteIniValue(const std::filesystem::path& path, const std::string& section, const std::string& key,
                    const std::string& value);
// The same write through the given file operations instead of the host's.
short WriteIniValue(settings::FileSystem& files, const std::filesystem::path& path,
                    const std::string& section, const std::string& key, const std::string& value);

// A small file the program keeps for itself, read and replaced with the same care as the settings file.
struct WholeFile {
  std::optional<std::string> bytes;  // absent when the file is missing or cannot be read
  std::string problem;               // why it cannot be read; empty when it was read or is missing
};
WholeFile ReadWholeFile(settings::FileSystem& files, const std::filesystem::path& path);
// Puts `content` in the place of the file at `path` through a new file beside it, so that the file holds the
// old content or the new, never part of either. False when it could not, and then the old file stands.
bool ReplaceWholeFile(settings::FileSystem& files, const std::filesystem::path& path,
                      std::string_view content);

}  // namespace INI
