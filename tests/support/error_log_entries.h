// The entries of zarn-vote's error log as tests read them back.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

// Each entry without its CR LF; a last piece without CR LF is kept as it is.
inline std::vector<std::string> errorLogEntries(const std::string& log) {
  std::vector<std::string> entries;
  for (std::size_t start = 0; start < log.size();) {
    const std::size_t end = std::min(log.find("\r\n", start), log.size());
    entries.push_back(log.substr(start, end - start));
    start = end + 2;
  }
  return entries;
}
