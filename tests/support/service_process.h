// zarn-vote started by a test on a program folder, as a ChildProcess: its window, or the service mode
// with "--headless". Its output comes through pipes, its error log is read from the folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"

class ServiceProcess : public ChildProcess {
 public:
  // `program` with --dir `folder` and the `mode` arguments after it.
  ServiceProcess(const std::string& program, const std::filesystem::path& folder,
                 const std::vector<std::string>& mode, ChildSetup setup = {});
  // The whole `command` (a launcher such as Wine first), started on `folder`, which it names itself.
  ServiceProcess(const std::vector<std::string>& command, const std::filesystem::path& folder,
                 ChildSetup setup = {});

  // The whole of errorlog.log, or empty.
  std::string errorLog() const;
  // Whether errorlog.log holds `text` within `seconds`.
  bool waitForLog(const std::string& text, int seconds) const;

 private:
  std::filesystem::path folder_;
};
