#include "app/error_log.h"

#include <chrono>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace {

// Where a full log is set aside: the same folder, ".old" before the extension.
std::filesystem::path setAsideName(const std::filesystem::path& file) {
  std::filesystem::path setAside = file;
  setAside.replace_filename(file.stem().string() + ".old" + file.extension().string());
  return setAside;
}

}  // namespace

std::tm SystemClock::localNow() const {
  const std::time_t now = std::time(nullptr);
  // The one thread of the program is the only caller, so the shared result of std::localtime is safe here.
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? *local : std::tm{};
}

std::int64_t SystemClock::steadyMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t SystemClock::unixSeconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

ErrorLog::ErrorLog(std::filesystem::path file, const Clock& clock, std::locale locale)
    : file_(std::move(file)), clock_(clock), locale_(std::move(locale)) {}

std::locale ErrorLog::environmentLocale() {
  try {
    return std::locale("");
  } catch (const std::runtime_error&) {
    return std::locale::classic();
  }
}

void ErrorLog::append(std::string_view description, std::string_view label) const {
  write(description, nullptr, label);
}

void ErrorLog::append(std::string_view description, std::string_view chatLine, std::string_view label) const {
  write(description, &chatLine, label);
}

std::string logTimestamp(const std::tm& now, const std::locale& locale) {
  std::ostringstream stamp;
  stamp.imbue(locale);
  stamp << std::put_time(&now, "%x") << " - " << std::put_time(&now, "%X");
  return stamp.str();
}

std::string escapeControlBytes(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      escaped += "\\x";
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0xF];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

void appendWholeEntry(const std::filesystem::path& file, std::string_view entry, std::uintmax_t sizeLimit) {
  // Only a regular file takes entries: opening a FIFO put in the log's place would wait for a reader, and
  // the service with it.
  std::error_code noStatus;
  const std::filesystem::file_status status = std::filesystem::status(file, noStatus);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    return;
  std::error_code noSize;
  std::uintmax_t before = std::filesystem::file_size(file, noSize);
  if (noSize)
    before = 0;
  std::ios::openmode mode = std::ios::binary | std::ios::app;
  if (before > 0 && before + entry.size() > sizeLimit) {
    std::error_code notSetAside;
    std::filesystem::rename(file, setAsideName(file), notSetAside);
    if (!notSetAside) {
      before = 0;
    } else if (before + entry.size() > 2 * sizeLimit) {
      // The full log cannot be set aside (the old name is taken by a folder, the folder is read-only): at
      // twice the limit it starts again from empty, so that the disk stays bounded and the newest entries,
      // the ones an operator needs, are kept.
      mode = std::ios::binary | std::ios::trunc;
      before = 0;
    }
  }
  std::ofstream out(file, mode);
  if (!out)
    return;
  out.write(entry.data(), static_cast<std::streamsize>(entry.size()));
  out.flush();
  if (out)
    return;
  out.close();
  std::error_code ignored;
  std::filesystem::resize_file(file, before, ignored);
}

void ErrorLog::write(std::string_view description, const std::string_view* chatLine,
                     std::string_view label) const {
  std::string entry = logTimestamp(clock_.localNow(), locale_);
  entry.append(" - ").append(description).append(" - ");
  if (chatLine != nullptr)
    entry.append(*chatLine).append(" - ");
  entry.append(label);
  // The tick that failed must end as usual whatever happens to its entry.
  appendWholeEntry(file_, escapeControlBytes(entry) + "\r\n", sizeLimit_);
}
