// The simulator's inputs: scenario files, the command line and the placement of its memory blocks.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "game_sim/game_memory.h"
#include "game_sim/options.h"
#include "game_sim/scenario.h"

namespace gamesim {
namespace {

TEST(ScenarioTest, ReadsEventsInTimeOrderAndSkipsCommentsAndBlankLines) {
  const Scenario events = parseScenario(
      "# players\r\n\n  \t\n2 say 3  two  blanks \r\n0.25 join 3 Bob Jr\n2 leave 3\n1.5\tjoin\t4\tAnn\n",
      "s.txt");
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].atMs, 250);
  EXPECT_EQ(events[0].kind, EventKind::Join);
  EXPECT_EQ(events[0].text, "Bob Jr");
  EXPECT_EQ(events[1].atMs, 1500);
  EXPECT_EQ(events[1].slot, 4);
  EXPECT_EQ(events[1].text, "Ann");
  // Same time: file order; the message keeps its blanks as typed, the CR of a CR LF file does not stay.
  EXPECT_EQ(events[2].kind, EventKind::Say);
  EXPECT_EQ(events[2].text, " two  blanks ");
  EXPECT_EQ(events[2].line, 4);
  EXPECT_EQ(events[3].kind, EventKind::Leave);
}

TEST(ScenarioTest, ErrorsNameTheFileAndTheLine) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"soon join 1 Bob", "\"soon\" is not a time in seconds"},
      {"-1 join 1 Bob", "\"-1\" is not a time in seconds"},
      {"1", "an event (join, leave, say or window) must follow the time"},
      {"1 jump 2", "unknown event \"jump\""},
      {"1 join", "join needs a slot number"},
      {"1 join 16 Bob", "slot \"16\" is not a number from 0 to 15"},
      {"1 join x Bob", "slot \"x\" is not a number from 0 to 15"},
      {"1 join 2", "join needs a player name"},
      {"1 join 2 SixteenLettersXY", "is longer than 15 bytes"},
      {"1 leave 2 Bob", "leave takes only a slot number"},
      {"1 say 2", "say needs a message"},
      {"1 window", "window takes \"gone\" or \"back\""},
      {"1 window closed", "window takes \"gone\" or \"back\""},
      {"1 window gone 3", "window takes \"gone\" or \"back\""},
  };
  for (const auto& c : cases) {
    try {
      parseScenario(std::string("# first\n0 join 1 Ann\n") + c.line + "\n", "s.txt");
      ADD_FAILURE() << c.line << " was accepted";
    } catch (const ScenarioError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("s.txt:3: ", 0), 0u) << message;
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
  }
  EXPECT_EQ(parseScenario("1 join 2 FifteenLetters1", "s.txt").front().text, "FifteenLetters1");
}

TEST(ScenarioTest, WindowEventsNeedNoSlot) {
  const Scenario events = parseScenario("2 window back\n1 window gone\n", "s.txt");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, EventKind::WindowGone);
  EXPECT_EQ(events[0].atMs, 1000);
  EXPECT_EQ(events[0].slot, -1);
  EXPECT_EQ(events[1].kind, EventKind::WindowBack);
  EXPECT_EQ(events[1].line, 1);
}

TEST(ScenarioTest, MissingFileIsNamed) {
  EXPECT_THROW(
      {
        try {
          loadScenario("/nonexistent/scenario.txt");
        } catch (const ScenarioError& error) {
          EXPECT_NE(std::string(error.what()).find("/nonexistent/scenario.txt"), std::string::npos);
          throw;
        }
      },
      ScenarioError);
}

// The demo relies on this shape: Bob in slot 3, six distinct voters against him, then six map voters,
// one new chat line at a time and all of it within about 20 seconds.
TEST(ScenarioTest, DemoScenarioVotesBobOutThenTheMap) {
  const Scenario events = loadScenario(ZARN_GAME_SIM_DEMO_SCENARIO);
  std::string names[kSlotCount];
  std::set<std::string> playerVoters;
  std::set<std::string> mapVoters;
  std::int64_t lastSay = -1;
  for (const ScenarioEvent& event : events) {
    if (event.kind == EventKind::Join) {
      names[event.slot] = event.text;
    } else if (event.kind == EventKind::Say) {
      EXPECT_GE(event.atMs - lastSay, 1000) << "line " << event.line;
      lastSay = event.atMs;
      const std::string line = names[event.slot] + ": " + event.text;
      if (event.text == "/vote 3") {
        EXPECT_TRUE(playerVoters.insert(line).second) << line;
      } else if (event.text == "/vote map") {
        EXPECT_EQ(playerVoters.size(), 6u) << "map votes start after the player votes";
        EXPECT_TRUE(mapVoters.insert(line).second) << line;
      }
    }
  }
  EXPECT_EQ(names[3], "Bob");
  EXPECT_EQ(playerVoters.size(), 6u);
  EXPECT_EQ(mapVoters.size(), 6u);
  EXPECT_LE(events.back().atMs, 21000);
}

TEST(OptionsTest, DefaultsAreTheGamesTitleAndAddresses) {
  const Options options = parseOptions({});
  EXPECT_EQ(options.title, "Delta Force Land Warrior,  V1.00.42");
  EXPECT_EQ(options.chatAddress, 0x10FE6C0u);
  EXPECT_EQ(options.consoleAddress, 0x11038DCu);
  EXPECT_EQ(options.playersAddress, 0x1100000u);
  EXPECT_EQ(options.consoleBytes, 256u);
  EXPECT_TRUE(options.scenarioPath.empty());
  EXPECT_TRUE(options.transcriptPath.empty());
  EXPECT_FALSE(options.exitAfterSeconds);
}

TEST(OptionsTest, ReadsEveryOption) {
  const Options options = parseOptions({"--title", "A  B", "--chat", "&h1f", "--console", "0X2A", "--players",
                                        "&H30000", "--scenario", "s.txt", "--transcript", "t.txt",
                                        "--exit-after", "2.5", "--console-bytes", "90"});
  EXPECT_EQ(options.title, "A  B");
  EXPECT_EQ(options.chatAddress, 0x1Fu);
  EXPECT_EQ(options.consoleAddress, 0x2Au);
  EXPECT_EQ(options.playersAddress, 0x30000u);
  EXPECT_EQ(options.scenarioPath, "s.txt");
  EXPECT_EQ(options.transcriptPath, "t.txt");
  EXPECT_EQ(options.exitAfterSeconds, 2.5);
  EXPECT_EQ(options.consoleBytes, 90u);
  EXPECT_EQ(parseOptions({"--console-bytes", "16"}).consoleBytes, 16u);
  EXPECT_EQ(parseOptions({"--console-bytes", "4096"}).consoleBytes, 4096u);
  EXPECT_TRUE(parseOptions({"--help"}).help);
}

TEST(OptionsTest, RejectsWhatItCannotUse) {
  for (const std::vector<std::string_view>& arguments :
       std::vector<std::vector<std::string_view>>{{"--chat", "10FE6C0"},
                                                  {"--chat", "&H"},
                                                  {"--chat", "&H10FE6CG"},
                                                  {"--console", "0x-1"},
                                                  {"--players", "&H10000000000000000"},
                                                  {"--exit-after", "0"},
                                                  {"--console-bytes", "15"},
                                                  {"--console-bytes", "4097"},
                                                  {"--console-bytes", "-90"},
                                                  {"--console-bytes", "90 "},
                                                  {"--exit-after", "soon"},
                                                  {"--title"},
                                                  {"--bogus", "1"},
                                                  {"stray"}}) {
    EXPECT_THROW(parseOptions(arguments), UsageError) << arguments.front();
  }
}

TEST(MemoryLayoutTest, BlocksMustNotOverlap) {
  EXPECT_EQ(memoryRanges(0x10FE6C0, 0x11038DC, 256, 0x1100000).size(), 3u);
  // The chat line takes 91 bytes, the player table 16 * 17.
  EXPECT_NO_THROW(memoryRanges(0x1000, 0x1000 + 91, 256, 0x2000));
  EXPECT_THROW(memoryRanges(0x1000, 0x1000 + 90, 256, 0x2000), std::invalid_argument);
  EXPECT_NO_THROW(memoryRanges(0x1000, 0x3000, 256, 0x1000 + 91));
  EXPECT_THROW(memoryRanges(0x1000, 0x3000, 256, 0x1000 - 271), std::invalid_argument);
  EXPECT_THROW(memoryRanges(0, 0x3000, 256, 0x4000), std::invalid_argument);
  EXPECT_THROW(memoryRanges(0xFFFFFFFFFFFFFFF0, 0x3000, 256, 0x4000), std::invalid_argument);
  EXPECT_EQ(formatAddress(0x10FE6C0), "&H10FE6C0");
}

// The guard behind the console line is part of its block: nothing else may lie there.
TEST(MemoryLayoutTest, ConsoleBlockHoldsTheLineOfItsSizeAndTheGuard) {
  const auto ranges = memoryRanges(0x1000, 0x2000, 90, 0x3000);
  EXPECT_EQ(ranges[1].size, 90 + kGuardBytes);
  EXPECT_NO_THROW(memoryRanges(0x1000, 0x2000, 90, 0x2000 + 90 + kGuardBytes));
  EXPECT_THROW(memoryRanges(0x1000, 0x2000, 90, 0x2000 + 90 + kGuardBytes - 1), std::invalid_argument);
}

}  // namespace
}  // namespace gamesim
