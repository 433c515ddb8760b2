// Players voted out, and players who left one vote short of it, remembered by name for a number of
// minutes (Rejoin Punt Minutes), so that coming back does not undo the vote. What is remembered is kept in a
// small state file beside the audit log, so that a restart of the service lets nobody back in early.
// Times run on the steady clock; the file holds wall-clock ends, as the steady clock starts again with the
// program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "app/error_log.h"
#include "settings/file_system.h"

class VotedOut {
 public:
  VotedOut(std::filesystem::path stateFile, const Clock& clock,
           settings::FileSystem& files = settings::systemFileSystem());

  // Reads the state file, once: names whose time has run out are dropped, and a time that ends later than
  // `minutes` from now (a file from the future, a clock set back) is cut to `minutes`. Returns what went
  // wrong, for one log line: a missing or damaged file means nobody is remembered, and a damaged or
  // unreadable one is renamed to the state file's name with ".bad" added, so that no write replaces it.
  std::string load(int minutes);
  bool loaded() const { return loaded_; }

  // Remembers `name` for `minutes` from now, again from the start if it was remembered, and writes the
  // state file. Returns what went wrong with the file; empty when it was written.
  std::string remember(const std::string& name, int minutes);
  // Cuts every time left to at most `minutes` from now, as at a load: the option was made shorter.
  void limitTo(int minutes);
  // When `name` was last remembered by this run, on the steady clock; the far past for a name read from the
  // state file or not remembered.
  std::int64_t rememberedAtMs(std::string_view name) const;
  // The minutes left for `name`, rounded up; nothing when it is not remembered or its time ran out.
  std::optional<int> minutesLeft(std::string_view name) const;

  const std::filesystem::path& stateFile() const { return stateFile_; }

  // The file's content for these ends (name -> seconds since 1970), and back; nothing when damaged.
  static std::string serialize(const std::map<std::string, std::int64_t, std::less<>>& endsAt);
  static std::optional<std::map<std::string, std::int64_t, std::less<>>> parse(std::string_view content);

 private:
  std::filesystem::path stateFile_;
  const Clock& clock_;
  settings::FileSystem& files_;
  std::map<std::string, std::int64_t, std::less<>> untilMs_;  // steady time
  std::map<std::string, std::int64_t, std::less<>> rememberedAtMs_;
  bool loaded_ = false;
};
