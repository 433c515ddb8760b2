// What the end-to-end tests share, natively and under Wine: zarn-vote run as a program in a folder of its
// own, the vote scenario the simulator plays, the settings that aim the service at it, and the check of
// the outcome in the simulator's transcript.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/game_sim_process.h"

// Six players vote Bob (slot 3) out, then six vote for a map change; each line stands for 0.3 s, three
// collection intervals.
extern const char* const kVoteScenario;

// The service at short intervals (100 ms collection, 2 s processing) against a simulator with the default
// chat and console addresses. `memory` adds keys to [Memory], each with its CR LF; `more` adds sections.
std::string settingsFor(const std::string& title, const std::string& memory = "",
                        const std::string& more = "");

// Nothing went wrong in the game: no unknown command, no dropped or missed key, nothing written past the
// console line.
void expectNoGameFaults(const GameSimProcess& game);

// The whole scenario happened once: one punt of Bob with its announcement, one map notice and one map
// change, and nothing the scenario does not call for (expectNoGameFaults).
void expectScenarioOutcome(const GameSimProcess& game);

// zarn-vote (`program`) in a run folder of its own, its output kept in files.
class Service {
 public:
  Service(const std::string& program, const std::vector<std::string>& arguments, const std::string& settings);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // SIGTERM, then the exit status.
  int stop();
  std::string output() const { return readWholeFile(folder_ / "output.txt"); }
  std::string errorLog() const { return readWholeFile(folder_ / "errorlog.log"); }

 private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  int status_ = -1;
};
