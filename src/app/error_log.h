// The error log beside the program: one appended line per timer tick that ended in a failure.
// Fields are joined by " - " and the entry ends with CR LF:
//   date - time - description - chat line - Vote Collection
//   date - time - description - Vote Processing
// Date and time use the short formats of the locale taken from the environment.
#pragma once

#include <ctime>
#include <filesystem>
#include <locale>
#include <string>
#include <string_view>

// Local wall-clock time; injected so tests write entries at a time they choose.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::tm localNow() const = 0;
};

class SystemClock final : public Clock {
 public:
  std::tm localNow() const override;
};

// Short date and short time of `now` in the locale's formats, joined by " - ", as the logs beside the
// program begin their lines.
std::string logTimestamp(const std::tm& now, const std::locale& locale);

// Appends one whole entry to a log file with one open and one write. A file that cannot be opened loses
// the entry; an entry that did not fit whole (a full disk, a file-size limit) is cut off again, so the log
// keeps whole lines. Never fails.
void appendWholeEntry(const std::filesystem::path& file, std::string_view entry);

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

  // The locale named by LC_ALL / LC_TIME / LANG, or the classic one when that name is unusable.
  static std::locale environmentLocale();

 private:
  void write(std::string_view description, const std::string_view* chatLine, std::string_view label) const;

  std::filesystem::path file_;
  const Clock& clock_;
  std::locale locale_;
};
