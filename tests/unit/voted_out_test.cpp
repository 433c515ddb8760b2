// The names remembered as voted out and their state file: what survives a restart, and what a damaged,
// missing or odd file gives.
#include "votes/voted_out.h"

#include <gtest/gtest.h>

#include "support/fixed_clock.h"
#include "support/temp_folder.h"

namespace {

using namespace std::string_literals;

class VotedOutTest : public ::testing::Test {
 protected:
  std::filesystem::path file() const { return folder / "voted-out.state"; }
  TempFolder folder;
  FixedClock clock;
};

TEST_F(VotedOutTest, WhatIsRememberedOutlastsARestartWithItsTimeLeft) {
  VotedOut first(file(), clock);
  EXPECT_EQ("no voted-out.state yet, so nobody voted out is remembered", first.load(10));
  const std::string odd =
      "B\xF6"
      "b\n 3 x";  // any byte a name may hold, a line break and blanks too
  EXPECT_EQ("", first.remember(odd, 10));
  clock.steady += 4 * 60000 + 1;
  EXPECT_EQ("", first.remember("Cy", 10));
  EXPECT_EQ(6, first.minutesLeft(odd));  // 5 min 59.999 s, rounded up
  EXPECT_EQ(10, first.minutesLeft("Cy"));
  EXPECT_EQ(std::nullopt, first.minutesLeft("B"));

  // The restart: a new steady clock, the wall clock 3 minutes on.
  clock.steady = 77;
  clock.unixTime += 3 * 60;
  VotedOut second(file(), clock);
  EXPECT_EQ("", second.load(10));
  EXPECT_EQ(3, second.minutesLeft(odd));
  EXPECT_EQ(7, second.minutesLeft("Cy"));
  clock.steady += 7 * 60000;
  EXPECT_EQ(std::nullopt, second.minutesLeft("Cy"));
}

TEST_F(VotedOutTest, ADamagedFileRemembersNobodyAndAFileFromTheFutureIsCut) {
  const std::string header = "zarn-vote voted out 1\n";
  for (const std::string& damaged :
       {""s, "zarn-vote voted out 2\n"s, header + "1 3 Bob"s, header + "x 3 Bob\n", header + "99 0 \n",
        header + "99 -3 Bob\n", header + "99 9 Bob\n", header + "99 3 Bobby\n", header + "99 3 Bob\n7"}) {
    folder.write("voted-out.state", damaged);
    VotedOut votedOut(file(), clock);
    EXPECT_EQ(file().string() + " is damaged, so nobody voted out is remembered", votedOut.load(10))
        << damaged;
  }

  std::map<std::string, std::int64_t, std::less<>> ends;
  for (int i = 0; i < 10000; ++i)
    ends["Player" + std::to_string(i)] = clock.unixTime + 60 * (i % 3 == 0 ? -1 : 1);
  ends["Future"] = clock.unixTime + 10LL * 365 * 24 * 3600;
  ends["Far"] = std::numeric_limits<std::int64_t>::max();
  folder.write("voted-out.state", VotedOut::serialize(ends));
  VotedOut votedOut(file(), clock);
  EXPECT_EQ("", votedOut.load(30));
  EXPECT_EQ(30, votedOut.minutesLeft("Future"));
  EXPECT_EQ(30, votedOut.minutesLeft("Far"));
  EXPECT_EQ(1, votedOut.minutesLeft("Player1"));
  EXPECT_EQ(std::nullopt, votedOut.minutesLeft("Player0")) << "ended before the start";
}

}  // namespace
