// Reader and writer of the settings file. Both work on the raw bytes of the whole file, read once per
// call, so that any byte sequence is handled in linear time and a write can keep every byte it does not
// need to change. Both use POSIX file calls: the standard library can neither open a file without
// blocking, nor keep a file's owner, nor make sure that every byte reached the disk.
#include "settings/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/text.h"

namespace INI {
namespace {

namespace fs = std::filesystem;
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

// An open file descriptor, closed when it goes out of scope unless closed before.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~FileDescriptor() { close(); }

  explicit operator bool() const { return fd_ >= 0; }
  int get() const { return fd_; }

  // False when the last data could not be written out; the descriptor is gone either way.
  bool close() {
    if (fd_ < 0)
      return true;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return closed;
  }

 private:
  int fd_ = -1;
};

// Larger files are refused: a settings file is a few kilobytes, and every key read reads the whole file.
constexpr off_t kMaxFileBytes = off_t{64} << 20;
constexpr const char* kTooLarge = "is larger than 64 MB";

std::string errorText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// Why a file with this status cannot be read as a settings file; empty when it can.
std::string statusProblem(const struct stat& status) {
  if (S_ISDIR(status.st_mode))
    return "is a folder";
  if (!S_ISREG(status.st_mode))
    return "is not a regular file";
  if (status.st_size > kMaxFileBytes)
    return kTooLarge;
  return {};
}

// A settings file opened for reading, alone or with writing (`access`). Only a regular file is opened at
// all: opening a FIFO can wait for a writer and opening a device can set it going. The descriptor is
// checked again, without blocking, in case something else took the file's place in between.
struct OpenedFile {
  FileDescriptor fd;      // open when the file could be opened
  struct stat status {};  // of the open file
  std::string problem;    // why it cannot be opened; empty when it is open or missing
};

OpenedFile openRegularFile(const fs::path& path, int access) {
  OpenedFile opened;
  if (::stat(path.c_str(), &opened.status) != 0) {
    if (errno != ENOENT)
      opened.problem = errorText(errno);
    return opened;
  }
  opened.problem = statusProblem(opened.status);
  if (!opened.problem.empty())
    return opened;
  opened.fd = FileDescriptor(::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!opened.fd) {
    if (errno != ENOENT)
      opened.problem = errorText(errno);
  } else if (::fstat(opened.fd.get(), &opened.status) != 0) {
    opened.problem = errorText(errno);
  } else {
    opened.problem = statusProblem(opened.status);
  }
  if (!opened.problem.empty())
    opened.fd.close();
  return opened;
}

// The content of a settings file, or why it cannot be had.
struct FileContent {
  std::optional<std::string> bytes;  // absent when the file is missing or cannot be read
  std::string problem;               // why it cannot be read; empty when it was read or is missing
};

// Everything in the open regular file, from its start.
FileContent readOpenFile(const OpenedFile& file) {
  FileContent read;
  std::string bytes(static_cast<std::size_t>(file.status.st_size), '\0');
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
    const ssize_t got =
        ::pread(file.fd.get(), bytes.data() + length, bytes.size() - length, static_cast<off_t>(length));
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      read.problem = errorText(errno);
      return read;
    }
    if (got == 0)
      break;
    length += static_cast<std::size_t>(got);
  }
  bytes.resize(length);
  read.bytes = std::move(bytes);
  return read;
}

FileContent readWholeFile(const fs::path& path) {
  const OpenedFile file = openRegularFile(path, O_RDONLY);
  if (!file.fd)
    return {std::nullopt, file.problem};
  return readOpenFile(file);
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
bool writeAll(int fd, std::string_view bytes, std::size_t offset) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += static_cast<std::size_t>(written);
  }
  return true;
}

enum class Replaced { kYes, kFailed, kImpossible };

// The new content goes to a sibling file that then replaces the target in one rename, so that a crash
// or a full disk leaves either the old file or the new one, never a half-written one. `original` is the
// status of the file being replaced, absent when there is none yet. kImpossible means that the folder
// takes no new file, or the file may not be replaced by another, while the content could be written.
Replaced replaceViaSibling(const fs::path& target, std::string_view content, const struct stat* original) {
  fs::path temporary;
  FileDescriptor out;
  for (int attempt = 0; attempt < 8 && !out; ++attempt) {
    temporary = temporarySibling(target);
    // A new settings file gets the usual permissions; a replacement stays private until it has the
    // original's.
    const mode_t mode = original ? S_IRUSR | S_IWUSR : 0666;
    out = FileDescriptor(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!out && errno != EEXIST)
      return Replaced::kImpossible;
  }
  if (!out)
    return Replaced::kImpossible;

  bool written = writeAll(out.get(), content, 0);
  bool sameMetadata = true;
  if (written && original) {
    // Only a privileged process may give a file away. Where the owner or the group cannot be kept, the
    // file is written in place instead, so that a file shared through its group stays readable to its
    // owner. The owner comes first, since a change of owner clears the set-user-ID and set-group-ID bits.
    if (::fchown(out.get(), original->st_uid, original->st_gid) != 0)
      sameMetadata = false;
    if (::fchmod(out.get(), original->st_mode & 07777) != 0)
      sameMetadata = false;
  }
  written = written && ::fsync(out.get()) == 0;
  written = out.close() && written;
  if (!written) {
    ::unlink(temporary.c_str());
    return Replaced::kFailed;
  }
  if (sameMetadata && ::rename(temporary.c_str(), target.c_str()) == 0)
    return Replaced::kYes;
  ::unlink(temporary.c_str());
  return Replaced::kImpossible;
}

// Rewrites an open file in place, as the profile functions do, where it cannot be replaced. Only the
// bytes from the first change on are written, and a file that grows gets its new end first: a disk or
// size limit then stops the write before any old byte is overwritten, and the old length is restored.
void rewriteInPlace(int fd, std::string_view before, std::string_view after) {
  const std::size_t common = std::min(before.size(), after.size());
  const std::size_t firstChange = static_cast<std::size_t>(
      std::mismatch(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(common), after.begin())
          .first -
      before.begin());
  if (after.size() > before.size() && !writeAll(fd, after.substr(before.size()), before.size())) {
    if (::ftruncate(fd, static_cast<off_t>(before.size())) != 0) {
      // Nothing more can be done: the old content is still whole, only followed by part of the new end.
    }
    return;
  }
  if (!writeAll(fd, after.substr(firstChange, common - firstChange), firstChange))
    return;
  if (after.size() < before.size() && ::ftruncate(fd, static_cast<off_t>(after.size())) != 0)
    return;
  ::fsync(fd);
}

// A default loses its trailing spaces, and only those, before it is cut.
std::string defaultResult(std::string_view defaultValue) {
  return cutToMaxChars(trimTrailingSpaces(defaultValue));
}

}  // namespace

std::string ReadIniValue(const std::string& path, const std::string& section, const std::string& key,
                         const std::string& defaultValue) {
  try {
    const FileContent content = readWholeFile(path);
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

std::string unreadableReason(const std::string& path) {
  try {
    const FileContent content = readWholeFile(path);
    return content.bytes ? encodingProblem(*content.bytes) : content.problem;
  } catch (const std::bad_alloc&) {
    return "is too large to read";
  }
}

short WriteIniValue(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
  try {
    fs::path target(path);
    std::error_code error;
    // A linked settings file stays a link: the new content replaces the file it points to.
    if (fs::is_symlink(fs::symlink_status(target, error))) {
      target = fs::weakly_canonical(target, error);
      if (error)
        return 0;
    }
    // Read and written through one descriptor, opened for both: it proves that this process may write the
    // file, which a rename over it would not ask, it serves a write in place, and the content it reads is
    // that of the file it will write.
    const OpenedFile existing = openRegularFile(target, O_RDWR);
    if (!existing.problem.empty())
      return 0;
    std::string content;
    if (existing.fd) {
      // A file without any write permission stays as it is, also to a process (root) that could write it.
      if ((existing.status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return 0;
      // Starting from empty content would throw away what the operator wrote.
      // Nor is UTF-16 text: a line written into it would be garbage to the reader and to the editor.
      FileContent read = readOpenFile(existing);
      if (!read.bytes || startsWithUtf16Mark(*read.bytes))
        return 0;
      content = std::move(*read.bytes);
    }
    const std::string updated = updatedContent(content, section, key, value);
    // A file with several hard links would be split by a rename: the other names would keep the old
    // content. It is written in place, as the profile functions do.
    if (existing.fd && existing.status.st_nlink > 1) {
      rewriteInPlace(existing.fd.get(), content, updated);
      return 0;
    }
    const Replaced replaced = replaceViaSibling(target, updated, existing.fd ? &existing.status : nullptr);
    if (replaced == Replaced::kImpossible && existing.fd)
      rewriteInPlace(existing.fd.get(), content, updated);
  } catch (const std::exception&) {
    // A failed write is not reported, so nothing may escape from here either.
  }
  return 0;
}

}  // namespace INI
