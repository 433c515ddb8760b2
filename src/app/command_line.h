// The program's command line: --headless, --dir DIR, --help, --version.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct CommandLine {
  bool headless = false;
  bool help = false;
  bool version = false;
  std::filesystem::path folder;
  std::string error;  // set when the arguments are unusable; says what is wrong
};

// `arguments` excludes the program name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments,
                             const std::filesystem::path& executable);

std::string usageText();
std::string versionText();
