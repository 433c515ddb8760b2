#include "app/program_folder.h"

ProgramFolder programFolderFrom(const std::vector<std::string>& arguments,
                                const std::filesystem::path& executable) {
  ProgramFolder result{executable.parent_path(), {}};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] != "--dir")
      continue;
    if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
      result.error = "--dir needs a folder";
      return result;
    }
    const std::string& named = arguments[i + 1];
    result.folder = std::filesystem::path(std::u8string(named.begin(), named.end()));
    ++i;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(result.folder, error)) {
    result.error = "not a folder: " + result.folder.string();
  }
  return result;
}
