// The simulator's record of everything that happens to the game, one line per event:
// "[   12.345] WORD details", seconds since the start. End-to-end tests read it, so the words are fixed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace gamesim {

class Transcript {
 public:
  // The sink receives each whole line, newline included.
  explicit Transcript(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {}

  void write(std::int64_t atMs, std::string_view word, std::string_view details = {});

  // Counts written lines; the window redraws when it changes.
  std::uint64_t lineCount() const { return lineCount_; }

 private:
  std::function<void(std::string_view)> sink_;
  std::uint64_t lineCount_ = 0;
};

std::string formatLine(std::int64_t atMs, std::string_view word, std::string_view details);

// Writes lines to a file opened in binary mode (no CR LF on Windows) or to stdout, flushed after every line
// so a reader sees each event at once and nothing is lost when the process is killed.
class FileSink {
 public:
  // Empty path: standard output. Throws std::runtime_error when the file cannot be created.
  explicit FileSink(const std::string& path);
  ~FileSink();
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void operator()(std::string_view line);

 private:
  std::FILE* file_;
  bool owned_;
};

}  // namespace gamesim
