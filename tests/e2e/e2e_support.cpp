#include "e2e/e2e_support.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;

const char* const kVoteScenario =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n0 join 6 Gus\n"
    "1.0 say 0 /vote 3\n1.3 say 1 /vote 3\n1.6 say 2 /vote 3\n1.9 say 4 /vote 3\n2.2 say 5 /vote 3\n"
    "2.5 say 6 /vote 3\n2.8 say 0 hello all\n"
    "3.1 say 0 /vote map\n3.4 say 1 /vote map\n3.7 say 2 /vote map\n4.0 say 4 /vote map\n"
    "4.3 say 5 /vote map\n4.6 say 6 /vote map\n4.9 say 0 gg\n";

std::string settingsFor(const std::string& title, const std::string& memory, const std::string& more) {
  return "[Game]\r\nName=" + title + "\r\n[Memory]\r\nPlayer Start=&H1100000\r\n" + memory +
         "[General]\r\nFirst Run=False\r\nInterval=100\r\nInterval 2=2000\r\n" + more;
}

void expectNoGameFaults(const GameSimProcess& game) {
  for (const std::string& line : game.lines()) {
    for (const char* fault : {"UNKNOWN", "DROPPED", "MISSED", "MEMORY"})
      EXPECT_NE(0u, line.rfind(fault, 0)) << line;
  }
}

void expectScenarioOutcome(const GameSimProcess& game) {
  EXPECT_EQ(1, game.count("COMMAND punt 3"));
  EXPECT_EQ(1, game.count("PUNT 3 Bob"));
  EXPECT_EQ(1, game.count("TALK Player:_Bob(3)_voted out!"));
  EXPECT_EQ(1, game.count("TALK Map has been voted ~ map changing..."));
  EXPECT_EQ(1, game.count("COMMAND resetgames"));
  expectNoGameFaults(game);
}

Service::Service(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& settings) {
  static int counter = 0;
  folder_ = fs::temp_directory_path() /
            ("zarn-vote-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  std::ofstream(folder_ / "settings.ini", std::ios::binary) << settings;
  std::vector<std::string> all{program, "--dir", folder_.string()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : all)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::string output = (folder_ / "output.txt").string();
  pid_ = ::fork();
  if (pid_ == 0) {
    if (std::freopen(output.c_str(), "w", stderr) == nullptr ||
        std::freopen(output.c_str(), "a", stdout) == nullptr)
      ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
}

Service::~Service() {
  stop();
  fs::remove_all(folder_);
}

int Service::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
  }
  return status_;
}
