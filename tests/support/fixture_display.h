// Tests on the display of the Xvfb server that CTest's game_sim_xvfb fixture starts around them. A program
// that includes this names the fixture's display file in ZARN_GAME_SIM_XVFB_DISPLAY_FILE.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "support/game_sim_process.h"

// ":N" for the fixture's display, or empty when the fixture did not run.
inline std::string fixtureDisplay() {
  return displayFromFile(ZARN_GAME_SIM_XVFB_DISPLAY_FILE);
}

// Every program this test starts, and the test itself, use the fixture's display.
class OnFixtureDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string display = fixtureDisplay();
    ASSERT_FALSE(display.empty()) << "the Xvfb fixture did not run";
    ::setenv("DISPLAY", display.c_str(), 1);
  }
};
