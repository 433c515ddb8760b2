// The game version chooser on real settings files: which entries it lists, which choices it refuses, and
// exactly what a confirmed choice leaves in the file.
#include "dialogs/game_chooser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/dialog_doubles.h"
#include "support/journal.h"
#include "support/temp_folder.h"

namespace {

using Texts = std::vector<std::string>;

const std::string kRefused = "Notice You must select a game version!";

const std::string kTwoGames =
    "[All Games]\r\nGame Number=2\r\n"
    "Game 1=Delta Force Land Warrior,  V1.00.42\r\nChat 1=&H10FE6C0\r\nConsole 1=&H11038DC\r\n"
    "Player Start 1=&H1100000\r\n"
    "Game 2=Task Force Dagger\r\nChat 2=&H20AA000\r\nConsole 2=&H20BB000\r\nPlayer Start 2=&H20CC000\r\n";

// What a confirmed choice appends to a file without the active sections: the writes in their order.
std::string written(const std::string& name, const std::string& chat, const std::string& console,
                    const std::string& playerStart) {
  return "[Game]\r\nName=" + name + "\r\n[Memory]\r\nChat=" + chat + "\r\nConsole=" + console +
         "\r\nPlayer Start=" + playerStart + "\r\n[General]\r\nFirst Run=False\r\n";
}
const std::string kDaggerWritten = written("Task Force Dagger", "&H20AA000", "&H20BB000", "&H20CC000");

class GameChooserTest : public ::testing::Test {
 protected:
  std::string path() const { return (folder / "settings.ini").string(); }
  std::string fileText() const { return folder.read("settings.ini"); }
  void openOn(const std::string& content) {
    folder.write("settings.ini", content);
    chooser.Form_Load();
  }

  TempFolder folder;
  Journal journal;
  RecordingDialogWindow window{journal};
  TickNesting ticks;
  frmchoosegame chooser{path(), window, ticks};
};

TEST_F(GameChooserTest, WithoutAFileItListsFiveUnknownGamesAndWritesNothing) {
  chooser.Form_Load();
  EXPECT_EQ(chooser.Combo1Items, Texts(5, "Game Not Found"));
  EXPECT_EQ(chooser.List1, Texts(5, "Game Not Found"));
  EXPECT_EQ(chooser.List2, Texts(5, "Game Not Found"));
  EXPECT_EQ(chooser.List3, Texts(5, "Unavailable"));
  chooser.OKButton_Click();
  EXPECT_EQ(journal.entries, (Texts{kRefused}));
  EXPECT_FALSE(std::filesystem::exists(path()));
}

// A count that is no 16-bit whole number gives the default count; more than the list can usefully hold are
// not read.
TEST_F(GameChooserTest, GameNumberDecidesHowManyEntriesAreRead) {
  const std::vector<std::pair<std::string, std::size_t>> cases = {
      {"0", 0},    {"-4", 0},    {"3", 3},
      {"2.5", 2},  {"3.5", 4},   {"", 5},
      {"many", 5}, {"40000", 5}, {"32767", static_cast<std::size_t>(kMaxGameEntries)}};
  for (const auto& [count, entries] : cases) {
    SCOPED_TRACE("Game Number \"" + count + "\"");
    const std::string content = "[All Games]\r\nGame Number=" + count + "\r\n";
    frmchoosegame fresh{path(), window, ticks};
    folder.write("settings.ini", content);
    fresh.Form_Load();
    for (const Texts* list : {&fresh.Combo1Items, &fresh.List1, &fresh.List2, &fresh.List3})
      EXPECT_EQ(list->size(), entries);
    journal.clear();
    fresh.OKButton_Click();
    EXPECT_EQ(journal.entries, (Texts{kRefused}));
    EXPECT_EQ(fileText(), content);
  }
}

TEST_F(GameChooserTest, ListsTheEntriesAndAPickedItemBecomesTheText) {
  openOn(kTwoGames);
  EXPECT_EQ(chooser.Combo1Items, (Texts{"Delta Force Land Warrior,  V1.00.42", "Task Force Dagger"}));
  chooser.setCombo1ListIndex(1);
  EXPECT_EQ(chooser.Combo1Text, "Task Force Dagger");
  chooser.CancelButton_Click();
  EXPECT_EQ(journal.entries, (Texts{"Close"}));
  EXPECT_EQ(fileText(), kTwoGames);
}

// The entries of a file, the item picked, and what a confirmed choice appends to the file (nothing when it is
// refused). Missing addresses are written as their defaults; refused texts compare exactly, letter case
// included; of two entries with one name the picked one is written.
TEST_F(GameChooserTest, PickedEntryIsWrittenInOrderThenFirstRunAndTheDialogCloses) {
  const std::string notFound =
      "[All Games]\r\nGame Number=2\r\nGame 1=Game Not Found\r\nGame 2=game not found\r\nChat 2=&H2\r\n";
  const std::string sameName =
      "[All Games]\r\nGame Number=2\r\nGame 1=Same\r\nChat 1=&HA1\r\nGame 2=Same\r\nChat 2=&HB1\r\n";
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {kTwoGames, 1, kDaggerWritten},
      {"[All Games]\r\nGame Number=3\r\nGame 3=Blackhawk Down\r\n", 2,
       written("Blackhawk Down", "Game Not Found", "Game Not Found", "Unavailable")},
      {notFound, 0, ""},
      {notFound, 1, written("game not found", "&H2", "Game Not Found", "Unavailable")},
      {sameName, 1, written("Same", "&HB1", "Game Not Found", "Unavailable")}};
  for (const auto& [games, pick, appended] : cases) {
    SCOPED_TRACE(games + "picked " + std::to_string(pick));
    folder.write("settings.ini", games);
    journal.clear();
    frmchoosegame fresh{path(), window, ticks};
    fresh.Form_Load();
    fresh.setCombo1ListIndex(pick);
    fresh.OKButton_Click();
    EXPECT_EQ(journal.entries, (Texts{appended.empty() ? kRefused : "Close"}));
    EXPECT_EQ(fileText(), games + appended);
  }
}

// Typed text stands for the listed game it names exactly; other text would leave no addresses to write.
TEST_F(GameChooserTest, TypedTextMustNameAListedGameExactly) {
  openOn(kTwoGames);
  for (const std::string typed :
       {"Task Force", "task force dagger", "Task Force Dagger ", "", "---[Choose Game]---"}) {
    SCOPED_TRACE("typed \"" + typed + "\"");
    journal.clear();
    chooser.setCombo1Text(typed);
    chooser.OKButton_Click();
    EXPECT_EQ(journal.entries, (Texts{kRefused}));
    EXPECT_EQ(fileText(), kTwoGames);
  }
  // Typed over a picked item, the text wins: name and addresses always come from one entry.
  chooser.setCombo1ListIndex(0);
  chooser.setCombo1Text("Task Force Dagger");
  chooser.OKButton_Click();
  EXPECT_EQ(fileText(), kTwoGames + kDaggerWritten);
}

}  // namespace
