// zarn-game-sim.exe started by a Windows test program in its own Wine prefix and desktop: a title of the
// test's choosing, a scenario, and a transcript in a fresh folder that the test polls with a deadline.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "memlink/pause.h"
#include "memlink/windows/system_handles.h"
#include "support/temp_folder.h"

// Whether `found` comes true within `seconds`, asking every 20 ms.
bool pollFor(const std::function<bool()>& found, int seconds);

// A Windows program started by a test, with its arguments quoted; ended at once with the object.
class StartedProgram {
 public:
  // `program` in Wine's notation for a Linux path ("Z:/..."); raises when it cannot be started.
  StartedProgram(std::string program, const std::vector<std::string>& arguments);
  ~StartedProgram() { kill(); }
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  DWORD pid() const { return pid_; }
  // Ends the process at once, as a crash would, and waits until Windows has let go of it.
  void kill();

 private:
  winlink::Handle process_;
  DWORD pid_ = 0;
};

// A title no other test's game shows: the test's name and this process's number.
std::string testTitle(const std::string& name);

class LaunchedGame {
 public:
  // The 64-bit simulator unless `program` names another build of it (Wine's notation, "Z:/...").
  LaunchedGame(const std::string& title, const std::string& scenario,
               const std::string& program = ZARN_GAME_SIM_EXE);
  LaunchedGame(const LaunchedGame&) = delete;
  LaunchedGame& operator=(const LaunchedGame&) = delete;

  DWORD pid() const { return program_.pid(); }
  void kill() { program_.kill(); }

  // The transcript's lines without their time stamps.
  std::vector<std::string> lines() const;
  std::string transcript() const { return folder_.read("transcript.txt"); }
  // Whether `line` is in the transcript within `seconds`, looking every 20 ms.
  bool waitFor(const std::string& line, int seconds = 60) const;
  // Whether a line that begins with `start` is in the transcript within `seconds`.
  bool waitForStart(const std::string& start, int seconds = 60) const;

 private:
  // Whether a transcript line makes `found` true within `seconds`.
  bool waitForLine(const std::function<bool(const std::string&)>& found, int seconds) const;

  TempFolder folder_;
  StartedProgram program_;
};

// Pauses as zarn-vote's window does: the time passes while this thread's window messages are handled.
class MessagePumpPause : public PausePort {
 public:
  void pause(double seconds) override;
};
