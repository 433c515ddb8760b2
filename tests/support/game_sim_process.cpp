#include "support/game_sim_process.h"

#include <gtest/gtest.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string displayFromFile(const fs::path& file) {
  std::string number = readWholeFile(file);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
    number.pop_back();
  return number.empty() ? std::string() : ":" + number;
}

namespace {

// A window title no other simulator of this test program has.
std::string uniqueTitle() {
  static int counter = 0;
  return "Delta Force Land Warrior,  V1.00.42 test " + std::to_string(::getpid()) + "-" +
         std::to_string(++counter);
}

}  // namespace

GameSimProcess::GameSimProcess(const std::string& program, const std::string& scenario,
                               std::vector<std::string> extra, std::optional<std::string> title,
                               std::vector<std::string> launcher, std::optional<UserIds> user)
    : title_(title ? *title : uniqueTitle()),
      process_(prepare(program, scenario, extra, launcher, user), ChildSetup{user, std::nullopt, {}}) {}

std::vector<std::string> GameSimProcess::prepare(const std::string& program, const std::string& scenario,
                                                 const std::vector<std::string>& extra,
                                                 const std::vector<std::string>& launcher,
                                                 const std::optional<UserIds>& user) const {
  folder_.write("scenario.txt", scenario);
  if (user && ::chown(folder_.path().c_str(), user->uid, user->gid) != 0)
    ADD_FAILURE() << "cannot give " << folder_.path() << " to uid " << user->uid;
  const std::string drive = launcher.empty() ? "" : "Z:";
  std::vector<std::string> arguments = launcher;
  arguments.insert(arguments.end(),
                   {program, "--title", title_, "--scenario", drive + (folder_ / "scenario.txt").string(),
                    "--transcript", drive + transcriptPath().string(), "--exit-after", "60"});
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return arguments;
}

GameSimProcess::~GameSimProcess() {
  stop();
}

int GameSimProcess::wait() {
  // The simulator ends by itself at the latest after its --exit-after.
  return process_.waitForEnd(std::chrono::minutes(5)).value_or(-1);
}

std::string GameSimProcess::transcript() const {
  return "\ntranscript:\n" + readWholeFile(transcriptPath()) + "simulator output:\n" + process_.output();
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

int GameSimProcess::countStarting(const std::string& start) const {
  const auto all = lines();
  return static_cast<int>(std::count_if(
      all.begin(), all.end(), [&start](const std::string& line) { return line.rfind(start, 0) == 0; }));
}

std::optional<double> GameSimProcess::secondsAt(const std::string& line) const {
  std::istringstream content(readWholeFile(transcriptPath()));
  for (std::string stamped; std::getline(content, stamped);) {
    if (stamped.size() > 12 && stamped.compare(12, std::string::npos, line) == 0 && stamped.front() == '[')
      return std::stod(stamped.substr(1, 9));
  }
  return std::nullopt;
}

template <typename Find>
std::string GameSimProcess::waitUntil(Find find, const std::string& what, int seconds) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::string found = find(lines()); !found.empty())
      return found;
    std::this_thread::sleep_for(5ms);
  }
  ADD_FAILURE() << "no \"" << what << "\"" << transcript();
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
  const ssize_t got = ::process_vm_readv(pid(), &local, 1, &remote, 1, 0);
  EXPECT_EQ(got, static_cast<ssize_t>(length)) << std::strerror(errno);
  return buffer.substr(0, buffer.find('\0'));
}

void GameSimProcess::write(std::uint64_t address, const std::string& text) const {
  std::string bytes = text + '\0';
  iovec local{bytes.data(), bytes.size()};
  iovec remote{reinterpret_cast<void*>(address), bytes.size()};
  EXPECT_EQ(::process_vm_writev(pid(), &local, 1, &remote, 1, 0), static_cast<ssize_t>(bytes.size()))
      << std::strerror(errno);
}
