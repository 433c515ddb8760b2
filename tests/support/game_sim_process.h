// A running game simulator (zarn-game-sim) for tests, started as a ChildProcess: its own title, scenario
// and transcript in a fresh folder, read and written from outside as a steering program does. Tests that use
// it pause for real time, since the simulator runs on the real clock.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"

// ":N" for the display number written in the file, or empty.
std::string displayFromFile(const std::filesystem::path& file);

class GameSimProcess {
 public:
  // Starts `program`. Without a `title`, the window gets one of its own that no other test uses. With a
  // `launcher` (Wine's loader for the Windows build), that runs with the program as its first argument,
  // and the files are named to the program the way Wine reaches them (Z: is the root). With a `user`, the
  // simulator runs as that user, who is given its folder.
  GameSimProcess(const std::string& program, const std::string& scenario = "",
                 std::vector<std::string> extra = {}, std::optional<std::string> title = std::nullopt,
                 std::vector<std::string> launcher = {}, std::optional<UserIds> user = std::nullopt);
  ~GameSimProcess();
  GameSimProcess(const GameSimProcess&) = delete;
  GameSimProcess& operator=(const GameSimProcess&) = delete;

  // SIGTERM, then the wait status.
  int stop() { return process_.stop(); }
  // Kills the process at once, as a crash would, and reaps it.
  void kill() { process_.kill(); }
  // Waits for the process to end by itself, and returns the wait status.
  int wait();

  const std::string& title() const { return title_; }
  pid_t pid() const { return process_.pid(); }
  std::filesystem::path transcriptPath() const { return folder_ / "transcript.txt"; }
  std::string errors() const { return process_.standardError(); }
  // The transcript and the simulator's output, for a failure message.
  std::string transcript() const;

  // The transcript's lines without their time stamps.
  std::vector<std::string> lines() const;
  bool has(const std::string& line) const;
  // How many transcript lines equal `line`.
  int count(const std::string& line) const;
  // How many transcript lines begin with `start`.
  int countStarting(const std::string& start) const;
  // The simulator's time stamp, in seconds since its start, of the first line that equals `line`.
  std::optional<double> secondsAt(const std::string& line) const;

  // The first line that begins with `start`, waiting up to `seconds`; empty (and a test failure) when none
  // came.
  std::string waitForStart(const std::string& start, int seconds = 10) const;
  // Whether `line` came `times` times, waiting up to `seconds`; a failure when it did not.
  bool waitFor(const std::string& line, int seconds = 10, int times = 1) const;

  std::string read(std::uint64_t address, std::size_t length) const;
  void write(std::uint64_t address, const std::string& text) const;

 private:
  // Reads the transcript until `find` returns a line of it, for up to `seconds`.
  template <typename Find>
  std::string waitUntil(Find find, const std::string& what, int seconds) const;

  // The folder made ready for the simulator, and its command line.
  std::vector<std::string> prepare(const std::string& program, const std::string& scenario,
                                   const std::vector<std::string>& extra,
                                   const std::vector<std::string>& launcher,
                                   const std::optional<UserIds>& user) const;

  std::string title_;
  TempFolder folder_;
  ChildProcess process_;
};
