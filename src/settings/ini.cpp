// Reader and writer of the settings file. Both work on the raw bytes of the whole file, read once per
// call, so that any byte sequence is handled in linear time and a write can keep every byte it does not
// need to change. Both reach the file through the host's file operations (settings/file_system.h).
#include "settings/ini.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <random>
#include <span>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/text.h"
#include "settings/file_system.h"

namespace INI {
namespace {

namespace fs = std::filesystem;
using settings::FileHandle;
using settings::FileStatus;
using settings::FileSystem;
using text::equalsIgnoringCase;

// Blanks in the file around names, values and before a '[' or ';'. A form feed or any other control
// character is part of the text.
bool isFileBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v';
}

std::string_view trimFileBlanks(std::string_view text) {
  while (!text.empty() && isFileBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isFileBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

std::string_view trimTrailingSpaces(std::string_view text) {
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  return text;
}

// Section and key names from the caller lose their surrounding spaces only; a tab there is part of the
// name, so it matches no name in the file, where tabs around names are blanks.
std::string_view trimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  return trimTrailingSpaces(text);
}

// The profile functions hand values back through a 255-byte buffer, so callers never saw more than this.
constexpr std::size_t kMaxValueChars = 254;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Length of the well-formed UTF-8 sequence starting at `pos`, or 0 when the byte there does not start one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80)
    return 1;
  std::size_t length = 0;
  unsigned char secondLow = 0x80;
  unsigned char secondHigh = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      secondLow = 0xA0;  // overlong forms
    if (lead == 0xED)
      secondHigh = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      secondLow = 0x90;  // overlong forms
    if (lead == 0xF4)
      secondHigh = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - pos < length)
    return 0;
  const auto second = static_cast<unsigned char>(text[pos + 1]);
  if (second < secondLow || second > secondHigh)
    return 0;
  for (std::size_t i = 2; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if (next < 0x80 || next > 0xBF)
      return 0;
  }
  return length;
}

// Files written on other code pages hold stray bytes; each counts as one character so the cut stays
// predictable, while a real multi-byte character is never cut in half.
std::string cutToMaxChars(std::string_view text) {
  std::size_t pos = 0;
  for (std::size_t chars = 0; chars < kMaxValueChars && pos < text.size(); ++chars) {
    const std::size_t length = utf8SequenceLength(text, pos);
    pos += length == 0 ? 1 : length;
  }
  return std::string(text.substr(0, pos));
}

std::string_view stripMatchingQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

struct Line {
  std::size_t begin = 0;  // first byte of the line
  std::size_t end = 0;    // one past its last byte, before the line break
  std::size_t next = 0;   // one past the line break; equals `end` on a last line without one
};

enum class LineKind { kOther, kSection, kKey };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed, quotes still on
};

ParsedLine parseLine(std::string_view line) {
  ParsedLine parsed;
  const std::string_view text = trimFileBlanks(line);
  if (text.empty() || text.front() == ';')
    return parsed;
  if (text.front() == '[') {
    // The first ']' closes the name and the rest of the line does not count; without one, the name runs
    // to the end of the line.
    parsed.kind = LineKind::kSection;
    parsed.name = trimFileBlanks(text.substr(1, text.find(']', 1) - 1));
    return parsed;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos)
    return parsed;
  parsed.kind = LineKind::kKey;
  parsed.name = trimFileBlanks(text.substr(0, equals));
  parsed.value = trimFileBlanks(text.substr(equals + 1));
  return parsed;
}

// Steps through the lines of a file; CR LF, LF and a lone CR each end one.
class LineReader {
 public:
  explicit LineReader(std::string_view text)
      : text_(text),
        pos_(text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0) {}

  std::optional<Line> next() {
    if (pos_ >= text_.size())
      return std::nullopt;
    Line line;
    line.begin = pos_;
    const std::size_t lineBreak = text_.find_first_of("\r\n", pos_);
    line.end = lineBreak == std::string_view::npos ? text_.size() : lineBreak;
    line.next = line.end;
    if (line.next < text_.size()) {
      const bool crLf =
          text_[line.next] == '\r' && line.next + 1 < text_.size() && text_[line.next + 1] == '\n';
      line.next += crLf ? 2 : 1;
    }
    pos_ = line.next;
    return line;
  }

 private:
  std::string_view text_;
  std::size_t pos_;
};

// Where a key stands, or would go, in a file.
struct Location {
  std::optional<Line> sectionHeader;  // first section with the wanted name
  std::optional<Line> lastKeyLine;    // last key line of that section before the wanted key
  std::optional<Line> keyLine;        // first line of that section with the wanted key
  ParsedLine key;
};

Location locate(std::string_view text, std::string_view section, std::string_view key) {
  section = trimSpaces(section);
  key = trimSpaces(key);
  Location found;
  LineReader reader(text);
  while (const auto line = reader.next()) {
    const ParsedLine parsed = parseLine(text.substr(line->begin, line->end - line->begin));
    if (parsed.kind == LineKind::kSection) {
      if (found.sectionHeader)
        break;
      if (equalsIgnoringCase(parsed.name, section))
        found.sectionHeader = line;
    } else if (parsed.kind == LineKind::kKey && found.sectionHeader) {
      if (equalsIgnoringCase(parsed.name, key)) {
        found.keyLine = line;
        found.key = parsed;
        break;
      }
      found.lastKeyLine = line;
    }
  }
  return found;
}

// A file open through `files`, closed when it goes out of scope unless closed before.
class OpenFile {
 public:
  OpenFile() = default;
  OpenFile(FileSystem& files, FileHandle handle) : files_(&files), handle_(handle) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  OpenFile(OpenFile&& other) noexcept
      : files_(std::exchange(other.files_, nullptr)), handle_(other.handle_) {}
  OpenFile& operator=(OpenFile&& other) noexcept {
    std::swap(files_, other.files_);
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~OpenFile() { close(); }

  explicit operator bool() const { return files_ != nullptr; }
  FileHandle get() const { return handle_; }

  // False when the last data could not be written out; the file is closed either way.
  bool close() {
    if (files_ == nullptr)
      return true;
    return !std::exchange(files_, nullptr)->close(handle_);
  }

 private:
  FileSystem* files_ = nullptr;
  FileHandle handle_{};
};

// Larger files are refused: a settings file is a few kilobytes, and every key read reads the whole file.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{64} << 20;
constexpr const char* kTooLarge = "is larger than 64 MB";

// Why a file with this status cannot be read as a settings file; empty when it can.
std::string statusProblem(const FileStatus& status) {
  if (status.kind == FileStatus::Kind::kFolder)
    return "is a folder";
  if (status.kind != FileStatus::Kind::kRegular)
    return "is not a regular file";
  if (status.size > kMaxFileBytes)
    return kTooLarge;
  return {};
}

// A settings file opened for reading, alone or with writing (`access`). Only a regular file is opened at
// all: opening a FIFO can wait for a writer and opening a device can set it going. The open file is
// checked again, without blocking, in case something else took the file's place in between.
struct OpenedFile {
  OpenFile file;        // open when the file could be opened
  FileStatus status;    // of the open file
  std::string problem;  // why it cannot be opened; empty when it is open or missing
};

bool isMissing(std::error_code error) {
  return error == std::errc::no_such_file_or_directory;
}

OpenedFile openRegularFile(FileSystem& files, const fs::path& path, FileSystem::Access access) {
  OpenedFile opened;
  const auto named = files.status(path);
  if (named.error) {
    if (!isMissing(named.error))
      opened.problem = named.error.message();
    return opened;
  }
  opened.status = named.value;
  opened.problem = statusProblem(opened.status);
  if (!opened.problem.empty())
    return opened;
  const auto handle = files.open(path, access);
  if (handle.error) {
    if (!isMissing(handle.error))
      opened.problem = handle.error.message();
    return opened;
  }
  opened.file = OpenFile(files, handle.value);
  const auto status = files.openStatus(handle.value);
  opened.status = status.value;
  opened.problem = status.error ? status.error.message() : statusProblem(opened.status);
  if (!opened.problem.empty())
    opened.file.close();
  return opened;
}

// The content of a settings file, or why it cannot be had.
struct FileContent {
  std::optional<std::string> bytes;  // absent when the file is missing or cannot be read
  std::string problem;               // why it cannot be read; empty when it was read or is missing
};

// Everything in the open regular file, from its start.
FileContent readOpenFile(FileSystem& files, const OpenedFile& opened) {
  FileContent read;
  std::string bytes(static_cast<std::size_t>(opened.status.size), '\0');
  std::size_t length = 0;
  while (true) {
    if (length == bytes.size()) {
      // Longer than measured: the file grew meanwhile, or its size is not known ahead (as in /proc). It
      // may not grow past the limit.
      constexpr auto kLimit = static_cast<std::size_t>(kMaxFileBytes);
      if (length > kLimit) {
        read.problem = kTooLarge;
        return read;
      }
      bytes.resize(std::min(std::max<std::size_t>(2 * length, 4096), kLimit + 1));
    }
    const auto got =
        files.readAt(opened.file.get(), std::span(bytes).subspan(length), static_cast<std::uint64_t>(length));
    if (got.error) {
      read.problem = got.error.message();
      return read;
    }
    if (got.value == 0)
      break;
    length += got.value;
  }
  bytes.resize(length);
  read.bytes = std::move(bytes);
  return read;
}

FileContent readWholeFile(FileSystem& files, const fs::path& path) {
  const OpenedFile opened = openRegularFile(files, path, FileSystem::Access::kRead);
  if (!opened.file)
    return {std::nullopt, opened.problem};
  return readOpenFile(files, opened);
}

bool startsWithUtf16Mark(std::string_view content) {
  return content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF");
}

// Text that Windows saved as "Unicode": every key would read as absent.
std::string encodingProblem(std::string_view content) {
  if (startsWithUtf16Mark(content))
    return "is UTF-16 text; save it as ANSI or UTF-8 text";
  if (content.find('\0') != std::string_view::npos)
    return "holds NUL bytes, as UTF-16 text does; save it as ANSI or UTF-8 text";
  return {};
}

bool endsWithLineBreak(std::string_view text) {
  return !text.empty() && (text.back() == '\r' || text.back() == '\n');
}

// A guard against corrupting the file: a CR or LF in a name or value would start a new line, so that
// whoever controls the text could plant keys or sections of their own. Each becomes a blank.
std::string withoutLineBreaks(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c == '\r' || c == '\n')
      c = ' ';
  }
  return result;
}

std::string updatedContent(const std::string& content, const std::string& section, const std::string& key,
                           const std::string& value) {
  const std::string safeSection(trimSpaces(withoutLineBreaks(section)));
  const std::string safeKey(trimSpaces(withoutLineBreaks(key)));
  const std::string safeValue = withoutLineBreaks(value);
  const Location location = locate(content, safeSection, safeKey);
  std::string result = content;

  if (location.keyLine) {
    const Line& line = *location.keyLine;
    result.replace(line.begin, line.next - line.begin,
                   std::string(location.key.name) + "=" + safeValue + "\r\n");
  } else if (location.sectionHeader) {
    const Line& after = location.lastKeyLine ? *location.lastKeyLine : *location.sectionHeader;
    std::string insert = after.next == after.end ? "\r\n" : "";
    insert += safeKey + "=" + safeValue + "\r\n";
    result.insert(after.next, insert);
  } else {
    const bool onlyByteOrderMark = std::string_view(content) == kByteOrderMark;
    if (!endsWithLineBreak(content) && !content.empty() && !onlyByteOrderMark)
      result += "\r\n";
    result += "[" + safeSection + "]\r\n" + safeKey + "=" + safeValue + "\r\n";
  }
  return result;
}

fs::path temporarySibling(const fs::path& target) {
  static std::atomic<std::uint64_t> counter{0};
  static const std::uint64_t salt = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
  }();
  const std::uint64_t unique = salt ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
  // Hidden, and never mistaken for a settings file by a glob on "*.ini".
  std::string name = ".";
  name += target.filename().string();
  name += '.';
  name += std::to_string(unique);
  name += ".tmp";
  return target.parent_path() / name;
}

// Every byte of `bytes` at `offset`, or false when the disk, a size limit or anything else stopped the
// write short.
bool writeAll(FileSystem& files, FileHandle file, std::string_view bytes, std::size_t offset) {
  while (!bytes.empty()) {
    const auto written = files.writeAt(file, bytes, offset);
    if (written.error || written.value == 0)
      return false;
    bytes.remove_prefix(written.value);
    offset += written.value;
  }
  return true;
}

enum class Replaced { kYes, kFailed, kImpossible };

// The new content goes to a sibling file that then replaces the target in one rename, so that a crash
// or a full disk leaves either the old file or the new one, never a half-written one. `original` is the
// status of the file being replaced, absent when there is none yet. kImpossible means that the folder
// takes no new file, or the file may not be replaced by another, while the content could be written.
Replaced replaceViaSibling(FileSystem& files, const fs::path& target, std::string_view content,
                           const FileStatus* original) {
  fs::path temporary;
  OpenFile out;
  for (int attempt = 0; attempt < 8 && !out; ++attempt) {
    temporary = temporarySibling(target);
    // A new settings file gets the usual permissions; a replacement stays private until it has the
    // original's.
    constexpr auto kPrivate = fs::perms::owner_read | fs::perms::owner_write;
    constexpr auto kUsual = kPrivate | fs::perms::group_read | fs::perms::group_write |
                            fs::perms::others_read | fs::perms::others_write;
    const auto created = files.create(temporary, original ? kPrivate : kUsual);
    if (created.error && created.error != std::errc::file_exists)
      return Replaced::kImpossible;
    if (!created.error)
      out = OpenFile(files, created.value);
  }
  if (!out)
    return Replaced::kImpossible;

  bool written = writeAll(files, out.get(), content, 0);
  bool sameMetadata = true;
  if (written && original) {
    // Only a privileged process may give a file away. Where the owner or the group cannot be kept, the
    // file is written in place instead, so that a file shared through its group stays readable to its
    // owner. The owner comes first, since a change of owner clears the set-user-ID and set-group-ID bits.
    if (files.setOwner(out.get(), original->owner, original->group))
      sameMetadata = false;
    if (files.setPermissions(out.get(), original->permissions))
      sameMetadata = false;
  }
  written = written && !files.flush(out.get());
  written = out.close() && written;
  if (!written) {
    files.remove(temporary);
    return Replaced::kFailed;
  }
  if (sameMetadata && !files.rename(temporary, target))
    return Replaced::kYes;
  files.remove(temporary);
  return Replaced::kImpossible;
}

// Rewrites an open file in place, as the profile functions do, where it cannot be replaced. Only the
// bytes from the first change on are written, and a file that grows gets its new end first: a disk or
// size limit then stops the write before any old byte is overwritten, and the old length is restored.
void rewriteInPlace(FileSystem& files, FileHandle file, std::string_view before, std::string_view after) {
  const std::size_t common = std::min(before.size(), after.size());
  const std::size_t firstChange = static_cast<std::size_t>(
      std::mismatch(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(common), after.begin())
          .first -
      before.begin());
  if (after.size() > before.size() && !writeAll(files, file, after.substr(before.size()), before.size())) {
    if (files.resize(file, before.size())) {
      // Nothing more can be done: the old content is still whole, only followed by part of the new end.
    }
    return;
  }
  if (!writeAll(files, file, after.substr(firstChange, common - firstChange), firstChange))
    return;
  if (after.size() < before.size() && files.resize(file, after.size()))
    return;
  files.flush(file);
}

// A file with none of these permissions is never written.
constexpr auto kAnyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

// A default loses its trailing spaces, and only those, before it is cut.
std::string defaultResult(std::string_view defaultValue) {
  return cutToMaxChars(trimTrailingSpaces(defaultValue));
}

}  // namespace

std::string ReadIniValue(const std::filesystem::path& path, const std::string& section,
                         const std::string& key, const std::string& defaultValue) {
  try {
    const FileContent content = readWholeFile(settings::systemFileSystem(), path);
    if (!content.bytes)
      return defaultResult(defaultValue);
    const Location location = locate(*content.bytes, section, key);
    if (!location.keyLine)
      return defaultResult(defaultValue);
    return cutToMaxChars(stripMatchingQuotes(location.key.value));
  } catch (const std::exception&) {
    // Out of memory on a huge file, or a path the library rejects: the caller still gets its default.
    return defaultResult(defaultValue);
  }
}

std::string unreadableReason(const std::filesystem::path& path) {
  try {
    const FileContent content = readWholeFile(settings::systemFileSystem(), path);
    return content.bytes ? encodingProblem(*content.bytes) : content.problem;
  } catch (const std::bad_alloc&) {
    return "is too large to read";
  }
}

short WriteIniValue(const std::filesystem::path& path, const std::string& section, const std::string& key,
                    const std::string& value) {
  return WriteIniValue(settings::systemFileSystem(), path, section, key, value);
}

short WriteIniValue(settings::FileSystem& files, const std::filesystem::path& path,
                    const std::string& section, const std::string& key, const std::string& value) {
  try {
    fs::path target(path);
    std::error_code error;
    // A linked settings file stays a link: the new content replaces the file it points to.
    if (fs::is_symlink(fs::symlink_status(target, error))) {
      target = fs::weakly_canonical(target, error);
      if (error)
        return 0;
    }
    // Read and written through one open file, opened for both: it proves that this process may write the
    // file, which a rename over it would not ask, it serves a write in place, and the content it reads is
    // that of the file it will write.
    const OpenedFile existing = openRegularFile(files, target, FileSystem::Access::kReadWrite);
    if (!existing.problem.empty())
      return 0;
    std::string content;
    if (existing.file) {
      // A file without any write permission stays as it is, also to a process (root) that could write it.
      if ((existing.status.permissions & kAnyWrite) == fs::perms::none)
        return 0;
      // Starting from empty content would throw away what the operator wrote.
      // Nor is UTF-16 text: a line written into it would be garbage to the reader and to the editor.
      FileContent read = readOpenFile(files, existing);
      if (!read.bytes || startsWithUtf16Mark(*read.bytes))
        return 0;
      content = std::move(*read.bytes);
    }
    const std::string updated = updatedContent(content, section, key, value);
    // A file with several hard links would be split by a rename: the other names would keep the old
    // content. It is written in place, as the profile functions do.
    if (existing.file && existing.status.links > 1) {
      rewriteInPlace(files, existing.file.get(), content, updated);
      return 0;
    }
    const Replaced replaced =
        replaceViaSibling(files, target, updated, existing.file ? &existing.status : nullptr);
    if (replaced == Replaced::kImpossible && existing.file)
      rewriteInPlace(files, existing.file.get(), content, updated);
  } catch (const std::exception&) {
    // A failed write is not reported, so nothing may escape from here either.
  }
  return 0;
}

WholeFile ReadWholeFile(FileSystem& files, const fs::path& path) {
  FileContent read = readWholeFile(files, path);
  return WholeFile{std::move(read.bytes), std::move(read.problem)};
}

bool ReplaceWholeFile(FileSystem& files, const fs::path& path, std::string_view content) {
  return replaceViaSibling(files, path, content, nullptr) == Replaced::kYes;
}

}  // namespace INI
