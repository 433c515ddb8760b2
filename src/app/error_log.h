// The error log beside the program: one appended line per timer tick that ended in a failure.
// Fields are joined by " - " and the entry ends with CR LF:
//   date - time - description - chat line - Vote Collection
//   date - time - description - Vote Processing
// Date and time use the short formats of the locale taken from the environment. Control bytes inside an
// entry are written escaped, so a chat line cannot end an entry early or forge one of its own.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <locale>
#include <string>
#include <string_view>

// The program's clocks; injected so tests run at the times they choose.
class Clock {
 public:
  virtual ~Clock() = default;
  // Local wall-clock time, for the logs.
  virtual std::tm localNow() const = 0;
  // Milliseconds of a clock that never goes back and does not follow changes of the time of day, for how
  // long something has lasted.
  virtual std::int64_t steadyMs() const = 0;
  // Seconds since 1 January 1970 UTC, for what must outlast a restart of the program.
  virtual std::int64_t unixSeconds() const = 0;
};

class SystemClock final : public Clock {
 public:
  std::tm localNow() const override;
  std::int64_t steadyMs() const override;
  std::int64_t unixSeconds() const override;
};

// Short date and short time of `now` in the locale's formats, joined by " - ", as the logs beside the
// program begin their lines.
std::string logTimestamp(const std::tm& now, const std::locale& locale);

// The size a log beside the program may reach before it is set aside, unless the settings say otherwise.
inline constexpr std::uintmax_t kDefaultLogSizeLimit = 1048576;

// `text` with its control bytes (0x00-0x1F, 0x7F) written visibly as \r, \n, \t or \xHH with upper-case
// hex digits, and each backslash doubled so that an escape cannot be forged. Other bytes stay as they are.
std::string escapeControlBytes(std::string_view text);

// Appends one whole entry to a log file with one open and one write. When the entry would take the file
// past `sizeLimit` bytes, the file is first renamed with ".old" before its extension (votes.log:
// votes.old.log), replacing the one set aside before, and the entry starts a fresh file; an entry larger than
// the limit by itself is still written whole. A rename that fails leaves the entry to the current file. A
// file that cannot be opened loses the entry; an entry that did not fit whole (a full disk, a file-size
// limit) is cut off again, so the log keeps whole lines. Never fails.
void appendWholeEntry(const std::filesystem::path& file, std::string_view entry, std::uintmax_t sizeLimit);

inline constexpr std::string_view kVoteCollection = "Vote Collection";
inline constexpr std::string_view kVoteProcessing = "Vote Processing";
// Lines written outside the ticks: a setting that cannot be used, another game process attached.
inline constexpr std::string_view kSettingsLabel = "Settings";
inline constexpr std::string_view kGameLinkLabel = "Game Link";

class ErrorLog {
 public:
  // `locale` supplies the date and time formats; by default the one the environment names.
  ErrorLog(std::filesystem::path file, const Clock& clock, std::locale locale = environmentLocale());

  // An entry of the processing tick: date, time, description, label.
  void append(std::string_view description, std::string_view label) const;

  // An entry of the collection tick: date, time, description, chat line, label.
  void append(std::string_view description, std::string_view chatLine, std::string_view label) const;

  const std::filesystem::path& file() const { return file_; }
  // The size the file may reach before it is set aside; see appendWholeEntry.
  void setSizeLimit(std::uintmax_t bytes) { sizeLimit_ = bytes; }

  // The locale named by LC_ALL / LC_TIME / LANG, or the classic one when that name is unusable.
  static std::locale environmentLocale();

 private:
  void write(std::string_view description, const std::string_view* chatLine, std::string_view label) const;

  std::filesystem::path file_;
  const Clock& clock_;
  std::locale locale_;
  std::uintmax_t sizeLimit_ = kDefaultLogSizeLimit;
};
