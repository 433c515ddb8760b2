#include "app/error_log.h"

#include <fstream>
#include <iomanip>
#include <sstream>

std::tm SystemClock::localNow() const {
  const std::time_t now = std::time(nullptr);
  // The one thread of the program is the only caller, so the shared result of std::localtime is safe here.
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? *local : std::tm{};
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

void ErrorLog::write(std::string_view description, const std::string_view* chatLine,
                     std::string_view label) const {
  const std::tm now = clock_.localNow();
  std::ostringstream entry;
  entry.imbue(locale_);
  entry << std::put_time(&now, "%x") << " - " << std::put_time(&now, "%X") << " - " << description << " - ";
  if (chatLine != nullptr)
    entry << *chatLine << " - ";
  entry << label << "\r\n";

  // One open, one write, one close per entry. A log that cannot be written loses this entry only; the
  // tick must end as usual whatever happens here. An entry that did not fit whole (a full disk, a
  // file-size limit) is cut off again, so the log keeps whole lines.
  std::error_code noSize;
  const std::uintmax_t before = std::filesystem::file_size(file_, noSize);
  std::ofstream out(file_, std::ios::binary | std::ios::app);
  if (!out)
    return;
  const std::string text = entry.str();
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  if (out)
    return;
  out.close();
  std::error_code ignored;
  std::filesystem::resize_file(file_, noSize ? 0 : before, ignored);
}
