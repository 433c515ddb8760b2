#include "support/temp_folder.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

TempFolder::TempFolder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  do {
    path_ = std::filesystem::temp_directory_path() / ("zarnvote-test-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(path_));
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // A test may have made the folder read-only.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  if (in)
    content << in.rdbuf();
  return content.str();
}

std::string TempFolder::read(const std::string& name) const {
  return readWholeFile(path_ / name);
}

void TempFolder::write(const std::string& name, const std::string& content) const {
  std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::vector<std::string> TempFolder::names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
