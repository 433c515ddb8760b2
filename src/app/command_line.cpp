#include "app/command_line.h"

#include <ostream>

#include "app/program_folder.h"
#include "dialogs/about_box.h"

CommandLine parseCommandLine(const std::vector<std::string>& arguments,
                             const std::filesystem::path& executable) {
  CommandLine result;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--headless") {
      result.headless = true;
    } else if (argument == "--help" || argument == "-h") {
      result.help = true;
    } else if (argument == "--version") {
      result.version = true;
    } else if (argument == "--dir") {
      ++i;  // checked by programFolderFrom
    } else {
      result.error = "unknown argument: " + argument;
      return result;
    }
  }
  if (result.help || result.version)
    return result;
  const ProgramFolder folder = programFolderFrom(arguments, executable);
  result.folder = folder.folder;
  result.error = folder.error;
  return result;
}

std::string usageText() {
  return "Usage: zarn-vote [--headless] [--dir DIR]\n"
         "\n"
         "The voting service for a Delta Force game server, with the operator's window.\n"
         "\n"
         "  --dir DIR    the folder with settings.ini and errorlog.log (default: the program's folder)\n"
#ifdef _WIN32
         "  --headless   run as a console program without a window: notices go to stderr; Ctrl+C,\n"
         "               Ctrl+Break or closing the console stop it\n"
#else
         "  --headless   run as a service without a window: notices go to stderr; SIGINT and SIGTERM\n"
         "               stop it, SIGHUP reloads settings.ini and attaches to the game again\n"
#endif
         "  --help       show this text and exit\n"
         "  --version    show the version and exit\n"
         "\n"
         "Exit status: 0 when stopped; 2 for a bad command line, or in --headless when settings.ini\n"
         "still asks for the game version chooser (First Run=True); 3 when another zarn-vote already\n"
         "runs on the same folder.\n";
}

std::optional<int> answerAtOnce(const CommandLine& command, std::ostream& out, std::ostream& err) {
  if (command.help) {
    out << usageText();
    return 0;
  }
  if (command.version) {
    out << versionText();
    return 0;
  }
  if (!command.error.empty()) {
    err << "zarn-vote: " << command.error << "\n"
        << "Try 'zarn-vote --help'.\n";
    return 2;
  }
  return std::nullopt;
}

std::string versionText() {
  return "zarn-vote " + std::to_string(kProgramVersion.majorVersion) + "." +
         std::to_string(kProgramVersion.minorVersion) + "." + std::to_string(kProgramVersion.revision) + "\n";
}
