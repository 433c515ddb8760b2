// zarn-game-sim.exe started by a Windows test program in its own Wine prefix and desktop: a title of the
// test's choosing, a scenario, and a transcript in a fresh folder that the test polls with a deadline.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "memlink/pause.h"
#include "memlink/windows/system_handles.h"
#include "support/temp_folder.h"

// A title no other test's game shows: the test's name and this process's number.
std::string testTitle(const std::string& name);

class LaunchedGame {
 public:
  LaunchedGame(const std::string& title, const std::string& scenario);
  ~LaunchedGame();
  LaunchedGame(const LaunchedGame&) = delete;
  LaunchedGame& operator=(const LaunchedGame&) = delete;

  DWORD pid() const { return pid_; }
  // Ends the process at once, as a crash would, and waits until Windows has let go of it.
  void kill();

  // The transcript's lines without their time stamps.
  std::vector<std::string> lines() const;
  std::string transcript() const { return folder_.read("transcript.txt"); }
  // Whether `line` is in the transcript within `seconds`, looking every 20 ms.
  bool waitFor(const std::string& line, int seconds = 60) const;
  // Whether a line that begins with `start` is in the transcript within `seconds`.
  bool waitForStart(const std::string& start, int seconds = 60) const;

 private:
  template <typename Found>
  bool waitUntil(Found found, int seconds) const;

  TempFolder folder_;
  winlink::Handle process_;
  DWORD pid_ = 0;
};

// Pauses as zarn-vote's window does: the time passes while this thread's window messages are handled.
class MessagePumpPause : public PausePort {
 public:
  void pause(double seconds) override;
};
