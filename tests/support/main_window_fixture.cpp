#include "support/main_window_fixture.h"

#include <iomanip>
#include <sstream>

std::vector<std::string> MainWindowTest::errorLogEntries() const {
  std::ostringstream stamp;
  stamp.imbue(ErrorLog::environmentLocale());
  stamp << std::put_time(&clock.time, "%x") << " - " << std::put_time(&clock.time, "%X") << " - ";
  const std::string prefix = stamp.str();

  const std::string text = folder.read("errorlog.log");
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos)
      line += "<no CR LF>";
    entries.push_back(line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : "<no date and time> " + line);
    if (end == std::string::npos)
      break;
    start = end + 2;
  }
  return entries;
}
