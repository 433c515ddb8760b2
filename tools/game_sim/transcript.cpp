// Formatting and writing of transcript lines.
#include "game_sim/transcript.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace gamesim {

std::string formatLine(std::int64_t atMs, std::string_view word, std::string_view details) {
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "[%5lld.%03lld] ", static_cast<long long>(atMs / 1000),
                static_cast<long long>(atMs % 1000));
  std::string line = stamp;
  line += word;
  if (!details.empty()) {
    line += ' ';
    line += details;
  }
  line += '\n';
  return line;
}

void Transcript::write(std::int64_t atMs, std::string_view word, std::string_view details) {
  sink_(formatLine(atMs, word, details));
  ++lineCount_;
}

FileSink::FileSink(const std::string& path)
    : file_(path.empty() ? stdout : std::fopen(path.c_str(), "wb")), owned_(!path.empty()) {
  if (file_ == nullptr) {
    throw std::runtime_error("cannot create the transcript " + path + ": " + std::strerror(errno));
  }
}

FileSink::~FileSink() {
  if (owned_) {
    std::fclose(file_);
  }
}

void FileSink::operator()(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace gamesim
