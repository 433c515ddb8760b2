// Settings file reader and writer, on real files in a fresh folder per test. Expected files are spelled out
// byte for byte, because operators' hand-edited files must survive a write untouched.
#include "settings/ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <random>
#include <string>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class IniTest : public ::testing::Test {
 protected:
  std::string path() const { return (folder / "settings.ini").string(); }
  void givenFile(const std::string& content) const { folder.write("settings.ini", content); }
  std::string fileText() const { return folder.read("settings.ini"); }
  std::string read(const std::string& section, const std::string& key,
                   const std::string& defaultValue = "<default>") const {
    return INI::ReadIniValue(path(), section, key, defaultValue);
  }
  void write(const std::string& section, const std::string& key, const std::string& value) const {
    EXPECT_EQ(INI::WriteIniValue(path(), section, key, value), 0);
  }
  std::size_t entriesInFolder() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder.path()), {}));
  }

  TempFolder folder;
};

// ---- Reading ----

TEST_F(IniTest, MissingFileSectionOrKeyGivesDefault) {
  EXPECT_EQ(read("Vote", "Time"), "<default>");
  givenFile("[Vote]\r\nTime=30\r\n");
  EXPECT_EQ(read("Other", "Time"), "<default>");
  EXPECT_EQ(read("Vote", "Other"), "<default>");
  EXPECT_EQ(read("Vote", "Time"), "30");
  EXPECT_EQ(INI::ReadIniValue(folder.path().string(), "Vote", "Time", "dir"), "dir");
}

TEST_F(IniTest, NamesIgnoreCaseAndSurroundingBlanks) {
  givenFile("[ \tVote Setup\t ]\n \t Max Time \t=\t 30 seconds \t\n");
  EXPECT_EQ(read("vote setup", "MAX TIME"), "30 seconds");
  EXPECT_EQ(read("  VOTE SETUP ", "\tmax time "), "30 seconds");
  EXPECT_EQ(read("VoteSetup", "Max Time"), "<default>");  // inner blanks do count
}

TEST_F(IniTest, OneMatchingPairOfQuotesIsRemoved) {
  givenFile(
      "[S]\nDouble=\"a b\"\nSingle='x'\nPadded=  \" in \"  \nEmpty=\"\"\nMixed=\"x'\nLone=\"\n"
      "Open='abc\nInner=a\"b\"\nNested=\"'q'\"\n");
  EXPECT_EQ(read("S", "Double"), "a b");
  EXPECT_EQ(read("S", "Single"), "x");
  EXPECT_EQ(read("S", "Padded"), " in ");
  EXPECT_EQ(read("S", "Empty"), "");
  EXPECT_EQ(read("S", "Mixed"), "\"x'");
  EXPECT_EQ(read("S", "Lone"), "\"");
  EXPECT_EQ(read("S", "Open"), "'abc");
  EXPECT_EQ(read("S", "Inner"), "a\"b\"");
  EXPECT_EQ(read("S", "Nested"), "'q'");
}

TEST_F(IniTest, CommentsStrayLinesAndKeysOutsideSectionsAreNotRead) {
  givenFile("Top=0\n[S]\n;A=1\n  \t;B=2\nC\n[Broken\nD=4;not a comment\nE = a=b\n");
  EXPECT_EQ(read("", "Top"), "<default>");
  EXPECT_EQ(read("S", "A"), "<default>");
  EXPECT_EQ(read("S", "B"), "<default>");
  EXPECT_EQ(read("S", "C"), "<default>");
  EXPECT_EQ(read("S", "D"), "4;not a comment");  // a '[' line without ']' does not end the section
  EXPECT_EQ(read("S", "E"), "a=b");
}

TEST_F(IniTest, FirstSectionAndFirstKeyWin) {
  givenFile("[S]\nK=1\nk=2\n[T]\nK=t\n[s]\nK=3\nOnlyLater=4\n");
  EXPECT_EQ(read("S", "K"), "1");
  EXPECT_EQ(read("S", "OnlyLater"), "<default>");
  EXPECT_EQ(read("T", "K"), "t");
}

TEST_F(IniTest, CrLfLfAndLoneCrEachEndALine) {
  givenFile("[S]\r\nA=1\r\nB=2\nC=3\rD=4\r\r\n\n[T]\rE=5");
  EXPECT_EQ(read("S", "A"), "1");
  EXPECT_EQ(read("S", "B"), "2");
  EXPECT_EQ(read("S", "C"), "3");
  EXPECT_EQ(read("S", "D"), "4");
  EXPECT_EQ(read("T", "E"), "5");
}

TEST_F(IniTest, ValuesAndDefaultsAreCutTo254Characters) {
  const std::string longText(300, 'x');
  givenFile("[S]\nLong=" + longText + "\nExact=" + std::string(254, 'y') + "\n");
  EXPECT_EQ(read("S", "Long"), std::string(254, 'x'));
  EXPECT_EQ(read("S", "Exact"), std::string(254, 'y'));
  EXPECT_EQ(read("S", "Missing", longText), std::string(254, 'x'));
}

TEST_F(IniTest, CutCountsCodePointsAndNeverSplitsOne) {
  std::string euros;
  for (int i = 0; i < 300; ++i)
    euros += "\xE2\x82\xAC";
  const std::string a253(253, 'a');
  givenFile("[S]\nEuros=" + euros + "\nEmoji=" + a253 +
            "\xF0\x9F\x98\x80z\nStray=" + std::string(300, '\xFF') + "\nTruncated=" + a253 + "\xE2\x82z\n");
  EXPECT_EQ(read("S", "Euros"), euros.substr(0, 254 * 3));
  EXPECT_EQ(read("S", "Emoji"), a253 + "\xF0\x9F\x98\x80");
  EXPECT_EQ(read("S", "Stray"), std::string(254, '\xFF'));
  // An incomplete sequence is two stray bytes, so the cut falls between them.
  EXPECT_EQ(read("S", "Truncated"), a253 + "\xE2");
  EXPECT_EQ(read("S", "Missing", a253 + "\xC3\xA9" + "b"), a253 + "\xC3\xA9");
}

TEST_F(IniTest, PresentEmptyValueIsNotTheDefault) {
  givenFile("[S]\nEmpty=\nBlank= \t \nQuoted=''\n");
  EXPECT_EQ(read("S", "Empty"), "");
  EXPECT_EQ(read("S", "Blank"), "");
  EXPECT_EQ(read("S", "Quoted"), "");
  EXPECT_EQ(read("S", "Missing"), "<default>");
}

TEST_F(IniTest, ByteOrderMarkDoesNotHideFirstSection) {
  givenFile("\xEF\xBB\xBF[S]\r\nK=1\r\n");
  EXPECT_EQ(read("S", "K"), "1");
}

// ---- Writing ----

TEST_F(IniTest, WriteCreatesFileWithCrLfLines) {
  write("Vote", "Time", "30");
  EXPECT_EQ(fileText(), "[Vote]\r\nTime=30\r\n");
  EXPECT_EQ(entriesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(IniTest, WriteAppendsMissingSectionAtEnd) {
  givenFile("[A]\nX=1");
  write("S", "K", "v");
  EXPECT_EQ(fileText(), "[A]\nX=1\r\n[S]\r\nK=v\r\n");
  givenFile("[A]\nX=1\n");
  write("S", "K", "v");
  EXPECT_EQ(fileText(), "[A]\nX=1\n[S]\r\nK=v\r\n");
  givenFile("\xEF\xBB\xBF");
  write("S", "K", "v");
  EXPECT_EQ(fileText(), "\xEF\xBB\xBF[S]\r\nK=v\r\n");
}

TEST_F(IniTest, WriteInsertsKeyAfterLastKeyOfFirstMatchingSection) {
  givenFile("[S]\nA=1\nstray\n\n; note\n[T]\nB=2\n[S]\nC=3\n");
  write("s", "K", "v");
  EXPECT_EQ(fileText(), "[S]\nA=1\nK=v\r\nstray\n\n; note\n[T]\nB=2\n[S]\nC=3\n");

  givenFile("[S]\n; no keys yet\n[T]\n");
  write("S", "K", "v");
  EXPECT_EQ(fileText(), "[S]\nK=v\r\n; no keys yet\n[T]\n");

  givenFile("[T]\nB=2\n[S]");
  write("S", "K", "v");
  EXPECT_EQ(fileText(), "[T]\nB=2\n[S]\r\nK=v\r\n");

  givenFile("[S]\rA=1");
  write("S", "K", "v");
  EXPECT_EQ(fileText(), "[S]\rA=1\r\nK=v\r\n");
}

TEST_F(IniTest, WriteReplacesValueInPlaceKeepingEveryOtherByte) {
  const std::string before = "\xEF\xBB\xBF; settings\r\n[Vote]\n  Other = 1 \r\n";
  const std::string after = "\r\n   \t\n; trailing comment\rwhatever line\n[Next]\r\nTime=9";
  givenFile(before + " \tTiMe = 'old' \r" + after);
  write("VOTE", "time", "new value");
  EXPECT_EQ(fileText(), before + "TiMe=new value\r\n" + after);
  EXPECT_EQ(read("Next", "Time"), "9");
  EXPECT_EQ(entriesInFolder(), 1u);
}

TEST_F(IniTest, WriteReplacesOnlyFirstOccurrence) {
  givenFile("[S]\nK=1\nK=2\n[S]\nK=3\n");
  write("S", "K", "x");
  EXPECT_EQ(fileText(), "[S]\nK=x\r\nK=2\n[S]\nK=3\n");
}

TEST_F(IniTest, LineBreaksInValueCannotInjectLines) {
  givenFile("[S]\nK=1\n");
  write("S", "K", "a\r\n[Evil]\rX=1\nY");
  EXPECT_EQ(fileText(), "[S]\nK=a  [Evil] X=1 Y\r\n");
  EXPECT_EQ(read("Evil", "X"), "<default>");
  write("S\n[Evil]", "X\r", "2");
  EXPECT_EQ(read("Evil", "X"), "<default>");
}

TEST_F(IniTest, FailedWriteReturnsZeroAndLeavesNothingBehind) {
  givenFile("K=1\n");
  const std::string underFile = (folder / "settings.ini" / "inner.ini").string();
  EXPECT_EQ(INI::WriteIniValue(underFile, "S", "K", "v"), 0);
  const std::string underMissing = (folder / "missing" / "inner.ini").string();
  EXPECT_EQ(INI::WriteIniValue(underMissing, "S", "K", "v"), 0);
  fs::create_directory(folder / "dir");
  EXPECT_EQ(INI::WriteIniValue((folder / "dir").string(), "S", "K", "v"), 0);
  EXPECT_TRUE(fs::is_empty(folder / "dir"));
  EXPECT_EQ(fileText(), "K=1\n");
  EXPECT_EQ(entriesInFolder(), 2u);
}

TEST_F(IniTest, WriteKeepsPermissionsAndLinks) {
  givenFile("[S]\nK=1\n");
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path(), mode);
  fs::create_symlink(path(), folder / "link.ini");
  EXPECT_EQ(INI::WriteIniValue((folder / "link.ini").string(), "S", "K", "2"), 0);
  EXPECT_TRUE(fs::is_symlink(folder / "link.ini"));
  EXPECT_EQ(fileText(), "[S]\nK=2\r\n");
  EXPECT_EQ(fs::status(path()).permissions() & fs::perms::mask, mode);
}

TEST_F(IniTest, WrittenValuesReadBack) {
  write("Vote", "Time", "30");
  write("Vote", "Text", "Kick \"Bob\"?");
  write("Other", "Time", "");
  write("vote", "TIME", "45");
  EXPECT_EQ(read("Vote", "Time"), "45");
  EXPECT_EQ(read("Vote", "Text"), "Kick \"Bob\"?");
  EXPECT_EQ(read("Other", "Time"), "");
  EXPECT_EQ(fileText(), "[Vote]\r\nTime=45\r\nText=Kick \"Bob\"?\r\n[Other]\r\nTime=\r\n");
}

// ---- Damaged and hostile files ----

TEST_F(IniTest, RandomBytesAreReadAndKeptByWrite) {
  std::mt19937 random(20240611);
  // Weighted towards the bytes that give a file structure, so that sections and keys do occur.
  const std::string structural = "[]=;'\" \t\r\n\0sSkK"s;
  std::string content;
  for (int i = 0; i < 200000; ++i) {
    const auto pick = random();
    content += (pick & 1) ? structural[(pick >> 1) % structural.size()] : static_cast<char>(pick >> 8);
  }
  givenFile(content);
  for (const char* section : {"s", "S", "", "k"}) {
    for (const char* key : {"k", "K", "", "s"})
      EXPECT_LE(read(section, key).size(), 254u * 4);
  }
  write("Zarn Section", "Zarn Key", "value");
  EXPECT_EQ(read("Zarn Section", "Zarn Key"), "value");
  EXPECT_EQ(fileText().substr(0, content.size()), content);
}

TEST_F(IniTest, TenMegabyteFile) {
  std::string content = "[Big]\r\n";
  for (int i = 0; content.size() < 10'000'000; ++i)
    content += "Key" + std::to_string(i) + "=Value\r\n";
  content += "Last=found\r\n";
  givenFile(content);
  EXPECT_EQ(read("big", "last"), "found");
  write("Big", "Key5", "changed");
  EXPECT_EQ(read("Big", "Key5"), "changed");
  EXPECT_EQ(fileText().size(), content.size() + 2);
}

TEST_F(IniTest, NulBytesAreOrdinaryCharacters) {
  const std::string content = "[S\0x]\n\0\0\0\nK\0=v\0w\n[T]\nA=1\n"s;
  givenFile(content);
  EXPECT_EQ(read("S\0x"s, "K\0"s), "v\0w"s);
  EXPECT_EQ(read("S", "K"), "<default>");
  EXPECT_EQ(read("T", "A"), "1");
  write("T", "A", "2");
  EXPECT_EQ(fileText(), content.substr(0, 21) + "A=2\r\n");
}

TEST_F(IniTest, HundredThousandCharacterLines) {
  const std::string longLine(100000, 'x');
  givenFile("[S]\n" + longLine + "\nK=" + longLine + "\n;" + longLine + "\nJ=2\n");
  EXPECT_EQ(read("S", "K"), longLine.substr(0, 254));
  EXPECT_EQ(read("S", "J"), "2");
  write("S", "J", "3");
  EXPECT_EQ(fileText(), "[S]\n" + longLine + "\nK=" + longLine + "\n;" + longLine + "\nJ=3\r\n");
}

}  // namespace
