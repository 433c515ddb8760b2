// The program folder, which holds settings.ini and errorlog.log: the folder named with --dir, otherwise
// the folder of the executable.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ProgramFolder {
  std::filesystem::path folder;
  std::string error;  // set when the arguments are unusable; says what is wrong
};

// `arguments` excludes the program name; a folder is named in UTF-8 (on Windows too). Unknown arguments are
// left for the caller to reject.
ProgramFolder programFolderFrom(const std::vector<std::string>& arguments,
                                const std::filesystem::path& executable);
