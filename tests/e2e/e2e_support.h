// What the end-to-end tests share, natively and under Wine: the display of the Xvfb fixture, a program
// folder for zarn-vote, the vote scenario the simulator plays, the settings that aim the service at it, and
// the check of the outcome in the simulator's transcript.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/fixture_display.h"
#include "support/game_sim_process.h"
#include "support/service_process.h"
#include "support/temp_folder.h"

// Six players vote Bob (slot 3) out, then six vote for a map change; each line stands for 0.3 s, three
// collection intervals.
extern const char* const kVoteScenario;

// The service at short intervals (100 ms collection, `processing` ms processing) against a simulator with
// the default chat and console addresses. `memory` adds keys to [Memory], each with its CR LF; `more` adds
// sections.
std::string settingsFor(const std::string& title, const std::string& memory = "",
                        const std::string& more = "", const std::string& processing = "2000");

// Nothing went wrong in the game: no unknown command, no dropped or missed key, nothing written past the
// console line.
void expectNoGameFaults(const GameSimProcess& game);

// The whole scenario happened once: one punt of Bob with its announcement, one map notice and one map
// change, and nothing the scenario does not call for (expectNoGameFaults).
void expectScenarioOutcome(const GameSimProcess& game);

// A port on loopback that nothing listens on: the kernel's choice, let go at once.
int freePort();

// zarn-vote and the simulator on the display of the Xvfb fixture, with a program folder for zarn-vote.
class OnXvfbTest : public OnFixtureDisplayTest {
 protected:
  void SetUp() override;
  // The program folder, with `settings` as its settings.ini.
  std::filesystem::path programFolder(const std::string& settings) const;

  TempFolder folder_;
};

// Each test twice: against zarn-vote's window and against its service mode.
class WindowAndServiceModeTest : public OnXvfbTest, public ::testing::WithParamInterface<bool> {
 protected:
  // No arguments for the window, "--headless" for the service mode.
  std::vector<std::string> mode() const;
};

// "Window" or "Headless", to name the instances of a WindowAndServiceModeTest.
std::string windowOrHeadless(const ::testing::TestParamInfo<bool>& param);
