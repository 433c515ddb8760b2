#include "windows/game_sim_launch.h"

#include <algorithm>
#include <chrono>
#include <sstream>
#include <stdexcept>

#include "common/windows/last_error.h"

namespace {

std::string inQuotes(const std::string& argument) {
  return "\"" + argument + "\"";
}

}  // namespace

std::string testTitle(const std::string& name) {
  return "Zarn link test " + name + "  " + std::to_string(GetCurrentProcessId());
}

StartedProgram::StartedProgram(std::string program, const std::vector<std::string>& arguments) {
  for (char& c : program) {
    if (c == '/')
      c = '\\';
  }
  std::string commandLine = inQuotes(program);
  for (const std::string& argument : arguments)
    commandLine += " " + inQuotes(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    throw std::runtime_error("cannot start " + program + ": " + lastErrorText());
  }
  const winlink::Handle thread(started.hThread);
  process_ = winlink::Handle(started.hProcess);
  pid_ = started.dwProcessId;
}

void StartedProgram::kill() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 9);
    WaitForSingleObject(process_.get(), 30000);
  }
}

// The scenario goes into the folder before the program starts.
LaunchedGame::LaunchedGame(const std::string& title, const std::string& scenario, const std::string& program)
    : program_((folder_.write("scenario.txt", scenario), program),
               {"--title", title, "--scenario", (folder_ / "scenario.txt").string(), "--transcript",
                (folder_ / "transcript.txt").string(), "--exit-after", "240"}) {}

std::vector<std::string> LaunchedGame::lines() const {
  std::vector<std::string> lines;
  std::istringstream transcript(this->transcript());
  for (std::string line; std::getline(transcript, line);) {
    const std::size_t stamp = line.find("] ");
    lines.push_back(stamp == std::string::npos ? line : line.substr(stamp + 2));
  }
  return lines;
}

bool pollFor(const std::function<bool()>& found, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!found()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    Sleep(20);
  }
  return true;
}

bool LaunchedGame::waitForLine(const std::function<bool(const std::string&)>& found, int seconds) const {
  return pollFor(
      [this, &found] {
        const std::vector<std::string> seen = lines();
        return std::any_of(seen.begin(), seen.end(), found);
      },
      seconds);
}

bool LaunchedGame::waitFor(const std::string& line, int seconds) const {
  return waitForLine([&line](const std::string& seen) { return seen == line; }, seconds);
}

bool LaunchedGame::waitForStart(const std::string& start, int seconds) const {
  return waitForLine([&start](const std::string& seen) { return seen.rfind(start, 0) == 0; }, seconds);
}

void MessagePumpPause::pause(double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&message);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0)
      return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
  }
}
