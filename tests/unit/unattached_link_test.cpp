// The link the program uses until a real game link is built in: it never attaches, refuses every access to
// the game with a reason the error log can show, and still paces the console steps through the pause.
#include "memlink/unattached_link.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingPause final : public PausePort {
 public:
  void pause(double seconds) override { pauses.push_back(seconds); }
  std::vector<double> pauses;
};

TEST(UnattachedLinkTest, NeverAttachesAndRefusesTheGameButPauses) {
  RecordingPause pause;
  UnattachedLink link(pause);
  std::string name = "Delta Force Land Warrior,  V1.00.42";
  EXPECT_FALSE(link.OpenGame(name));
  EXPECT_FALSE(link.OpenGame(name));
  EXPECT_THROW(link.ReadString("&H10FE6C0", ReadLength{std::int16_t{90}}), MemoryControlError);
  EXPECT_THROW(link.WriteString("&H11038DC", "punt 3", true), MemoryControlError);
  try {
    link.SendKey(kKeyConsole);
    FAIL() << "SendKey reached no game and said nothing";
  } catch (const MemoryControlError& error) {
    EXPECT_STREQ(error.what(), "not attached to the game");
  }
  link.Wait(PauseSeconds{0.6});
  link.Wait(PauseSeconds{std::int16_t{4}});
  EXPECT_EQ(pause.pauses, (std::vector<double>{0.6, 4.0}));
}

}  // namespace
