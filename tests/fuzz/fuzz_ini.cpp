// Settings files are edited by hand and may hold anything. The input is the file; its first bytes also
// choose the names and the value to write. A write must read back, and must not disturb another key.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "settings/ini.h"

namespace {

namespace fs = std::filesystem;

const fs::path& scratchFile() {
  static const fs::path path = [] {
    std::random_device seed;
    return fs::temp_directory_path() / ("zarnvote-fuzz-ini-" + std::to_string(seed()) + ".ini");
  }();
  return path;
}

bool isSimpleName(std::string_view text) {
  if (text.empty())
    return false;
  for (const char c : text) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum)
      return false;
  }
  return true;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// Up to `limit` bytes from the front of the input, up to the first '|'.
std::string takeField(std::string_view& input, std::size_t limit) {
  const std::size_t end = std::min(input.find('|'), std::min(limit, input.size()));
  std::string field(input.substr(0, end));
  input.remove_prefix(std::min(end + 1, input.size()));
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  std::string_view header(content);
  const std::string section = takeField(header, 12);
  const std::string key = takeField(header, 12);
  const std::string value = takeField(header, 12);

  const std::string path = scratchFile().string();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }

  for (const char* otherSection : {"General", "s", ""}) {
    for (const char* otherKey : {"Key", "k", ""}) {
      if (INI::ReadIniValue(path, otherSection, otherKey, "").size() > 254 * 4)
        std::abort();
    }
  }
  const std::string witnessBefore = INI::ReadIniValue(path, "s", "k", "<none>");

  INI::WriteIniValue(path, section, key, value);
  const std::string readBack = INI::ReadIniValue(path, section, key, "<none>");
  if (isSimpleName(section) && isSimpleName(key) && (value.empty() || isSimpleName(value))) {
    if (readBack != value)
      std::abort();
    const bool sameEntry = sameIgnoringCase(section, "s") && sameIgnoringCase(key, "k");
    if (!sameEntry && INI::ReadIniValue(path, "s", "k", "<none>") != witnessBefore)
      std::abort();
  }

  std::error_code ignored;
  fs::remove(path, ignored);
  return 0;
}
