// The program's command line: --headless, --dir DIR, --help, --version.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
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

// For --help, --version or a command line that cannot run: writes what the operator reads (the usage or
// the version to `out`, the fault to `err`) and gives the status to end with. Nothing when the program is
// to run.
std::optional<int> answerAtOnce(const CommandLine& command, std::ostream& out, std::ostream& err);
