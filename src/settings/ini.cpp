// Reader and writer of the settings file. Both work on the raw bytes of the whole file, read once per
// call, so that any byte sequence is handled in linear time and a write can keep every byte it does not
// need to change.
#include "settings/ini.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>

#include "app/text.h"

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

// The whole file, or nothing when it is missing or cannot be read.
std::optional<std::string> readWholeFile(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error))
    return std::nullopt;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error)
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return std::nullopt;
  std::string content(static_cast<std::size_t>(size), '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad())
    return std::nullopt;
  content.resize(static_cast<std::size_t>(in.gcount()));
  return content;
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

// The new content goes to a sibling file that then replaces the target in one rename, so that a crash
// or a full disk leaves either the old file or the new one, never a half-written one.
void replaceFile(const fs::path& target, std::string_view content, std::optional<fs::perms> permissions) {
  std::error_code error;
  fs::path temporary;
  for (int attempt = 0; attempt < 8; ++attempt) {
    temporary = temporarySibling(target);
    if (!fs::exists(temporary, error) && !error)
      break;
    temporary.clear();
  }
  if (temporary.empty())
    return;

  bool written = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(content.data(), static_cast<std::streamsize>(content.size()));
      out.flush();
      out.close();
      written = !out.fail();
    }
  }
  if (written && permissions)
    fs::permissions(temporary, *permissions, fs::perm_options::replace, error);
  if (written) {
    fs::rename(temporary, target, error);
    if (!error)
      return;
  }
  fs::remove(temporary, error);
}

// A default loses its trailing spaces, and only those, before it is cut.
std::string defaultResult(std::string_view defaultValue) {
  return cutToMaxChars(trimTrailingSpaces(defaultValue));
}

}  // namespace

std::string ReadIniValue(const std::string& path, const std::string& section, const std::string& key,
                         const std::string& defaultValue) {
  try {
    const std::optional<std::string> content = readWholeFile(path);
    if (!content)
      return defaultResult(defaultValue);
    const Location location = locate(*content, section, key);
    if (!location.keyLine)
      return defaultResult(defaultValue);
    return cutToMaxChars(stripMatchingQuotes(location.key.value));
  } catch (const std::exception&) {
    // Out of memory on a huge file, or a path the library rejects: the caller still gets its default.
    return defaultResult(defaultValue);
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
    const fs::file_status status = fs::status(target, error);
    std::string content;
    std::optional<fs::perms> permissions;
    if (fs::exists(status)) {
      if (!fs::is_regular_file(status))
        return 0;
      // Starting from empty content would throw away what the operator wrote.
      std::optional<std::string> existing = readWholeFile(target);
      if (!existing)
        return 0;
      // The rename below needs only a writable folder; a file the operator made read-only must stay as it
      // is, so it is first opened for writing (appending nothing) as a direct write would be.
      if (!std::ofstream(target, std::ios::binary | std::ios::app))
        return 0;
      content = std::move(*existing);
      permissions = status.permissions();
    } else if (error && status.type() != fs::file_type::not_found) {
      return 0;
    }
    replaceFile(target, updatedContent(content, section, key, value), permissions);
  } catch (const std::exception&) {
    // A failed write is not reported, so nothing may escape from here either.
  }
  return 0;
}

}  // namespace INI
