#include "support/game_sim_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readWholeFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

std::string displayFromFile(const fs::path& file) {
  std::string number = readWholeFile(file);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
    number.pop_back();
  return number.empty() ? std::string() : ":" + number;
}

GameSimProcess::GameSimProcess(const std::string& program, const std::string& scenario,
                               std::vector<std::string> extra, std::optional<std::string> title,
                               std::vector<std::string> launcher) {
  static int counter = 0;
  ++counter;
  const std::string unique = std::to_string(::getpid()) + "-" + std::to_string(counter);
  title_ = title ? *title : "Delta Force Land Warrior,  V1.00.42 test " + unique;
  folder_ = fs::temp_directory_path() / ("zarn-game-sim-test-" + unique);
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  std::ofstream(folder_ / "scenario.txt") << scenario;
  const std::string drive = launcher.empty() ? "" : "Z:";
  std::vector<std::string> arguments = launcher;
  arguments.insert(arguments.end(),
                   {program, "--title", title_, "--scenario", drive + (folder_ / "scenario.txt").string(),
                    "--transcript", drive + transcriptPath().string(), "--exit-after", "60"});
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::string errorFile = (folder_ / "stderr.txt").string();
  pid_ = ::fork();
  if (pid_ == 0) {
    if (std::freopen(errorFile.c_str(), "w", stderr) == nullptr)
      ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
}

GameSimProcess::~GameSimProcess() {
  stop();
  fs::remove_all(folder_);
}

int GameSimProcess::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
  }
  return status_;
}

void GameSimProcess::kill() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
  }
}

int GameSimProcess::wait() {
  if (pid_ > 0) {
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
  }
  return status_;
}

std::vector<std::string> GameSimProcess::lines() const {
  std::vector<std::string> lines;
  std::istringstream content(readWholeFile(transcriptPath()));
  for (std::string line; std::getline(content, line);)
    lines.push_back(line.size() > 12 ? line.substr(12) : line);
  return lines;
}

bool GameSimProcess::has(const std::string& line) const {
  return count(line) > 0;
}

int GameSimProcess::count(const std::string& line) const {
  const auto all = lines();
  return static_cast<int>(std::count(all.begin(), all.end(), line));
}

template <typename Find>
std::string GameSimProcess::waitUntil(Find find, const std::string& what, int seconds) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::string found = find(lines()); !found.empty())
      return found;
    std::this_thread::sleep_for(5ms);
  }
  ADD_FAILURE() << "no \"" << what << "\" in the transcript:\n"
                << readWholeFile(transcriptPath()) << errors();
  return {};
}

std::string GameSimProcess::waitForStart(const std::string& start, int seconds) const {
  return waitUntil(
      [&start](const std::vector<std::string>& all) {
        const auto found = std::find_if(
            all.begin(), all.end(), [&start](const std::string& line) { return line.rfind(start, 0) == 0; });
        return found == all.end() ? std::string() : *found;
      },
      start, seconds);
}

bool GameSimProcess::waitFor(const std::string& line, int seconds, int times) const {
  return !waitUntil(
              [&](const std::vector<std::string>& all) {
                return std::count(all.begin(), all.end(), line) >= times ? line : std::string();
              },
              times == 1 ? line : std::to_string(times) + " x " + line, seconds)
              .empty();
}

std::string GameSimProcess::read(std::uint64_t address, std::size_t length) const {
  std::string buffer(length, '\0');
  iovec local{buffer.data(), length};
  iovec remote{reinterpret_cast<void*>(address), length};
  const ssize_t got = ::process_vm_readv(pid_, &local, 1, &remote, 1, 0);
  EXPECT_EQ(got, static_cast<ssize_t>(length)) << std::strerror(errno);
  return buffer.substr(0, buffer.find('\0'));
}

void GameSimProcess::write(std::uint64_t address, const std::string& text) const {
  std::string bytes = text + '\0';
  iovec local{bytes.data(), bytes.size()};
  iovec remote{reinterpret_cast<void*>(address), bytes.size()};
  EXPECT_EQ(::process_vm_writev(pid_, &local, 1, &remote, 1, 0), static_cast<ssize_t>(bytes.size()))
      << std::strerror(errno);
}
