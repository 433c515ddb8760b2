// One ordered record of everything the core did to the outside world in a test: calls on the game link,
// yields, notices, windows opened. Tests compare it with the exact sequence they expect.
#pragma once

#include <string>
#include <vector>

struct Journal {
  std::vector<std::string> entries;
  void add(std::string entry) { entries.push_back(std::move(entry)); }
  void clear() { entries.clear(); }
};
