// A fresh folder under the system's temporary folder, removed with everything in it at the end of a test.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Whole content of a file; empty when it cannot be read.
std::string readWholeFile(const std::filesystem::path& path);

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Whole content of a file in the folder, or empty when it does not exist.
  std::string read(const std::string& name) const;
  void write(const std::string& name, const std::string& content) const;
  // The names in the folder, sorted.
  std::vector<std::string> names() const;

 private:
  std::filesystem::path path_;
};
