#include "support/service_process.h"

#include "support/temp_folder.h"

namespace {

std::vector<std::string> commandLine(const std::string& program, const std::filesystem::path& folder,
                                     const std::vector<std::string>& mode) {
  std::vector<std::string> arguments{program, "--dir", folder.string()};
  arguments.insert(arguments.end(), mode.begin(), mode.end());
  return arguments;
}

}  // namespace

ServiceProcess::ServiceProcess(const std::string& program, const std::filesystem::path& folder,
                               const std::vector<std::string>& mode, ChildSetup setup)
    : ChildProcess(commandLine(program, folder, mode), setup), folder_(folder) {}

ServiceProcess::ServiceProcess(const std::vector<std::string>& command, const std::filesystem::path& folder,
                               ChildSetup setup)
    : ChildProcess(command, setup), folder_(folder) {}

std::string ServiceProcess::errorLog() const {
  return readWholeFile(folder_ / "errorlog.log");
}

bool ServiceProcess::waitForLog(const std::string& text, int seconds) const {
  return pollUntil([&] { return errorLog().find(text) != std::string::npos; }, seconds);
}
