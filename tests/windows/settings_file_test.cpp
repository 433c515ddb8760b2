// The settings file on Windows: written whole or in place as elsewhere, in CR LF, with Windows' own ways
// of keeping a file from being replaced (the read-only attribute, a reader that does not share deletion,
// a second hard link) and folder names outside ASCII.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "settings/file_system.h"
#include "settings/ini.h"
#include "support/temp_folder.h"

namespace {

class WindowsSettingsTest : public ::testing::Test {
 protected:
  std::filesystem::path settings() const { return folder / "settings.ini"; }
  void write(const std::string& key, const std::string& value) const {
    INI::WriteIniValue(settings(), "General", key, value);
  }
  std::string read(const std::string& key) const { return INI::ReadIniValue(settings(), "General", key, "none"); }

  TempFolder folder;
};

TEST_F(WindowsSettingsTest, ANewFileIsWrittenWholeInCrLfAndNothingElseStaysInTheFolder) {
  write("Game", "Zarn  1.0");
  write("Interval", "10000");
  write("Game", "Zarn  1.1");

  EXPECT_EQ("[General]\r\nGame=Zarn  1.1\r\nInterval=10000\r\n", folder.read("settings.ini"));
  EXPECT_EQ(std::vector<std::string>{"settings.ini"}, folder.names());
  EXPECT_EQ("10000", read("Interval"));
}

TEST_F(WindowsSettingsTest, AReadOnlyFileIsLeftAsItIs) {
  folder.write("settings.ini", "[General]\r\nGame=old\r\n");
  ASSERT_TRUE(SetFileAttributesW((folder / "settings.ini").c_str(), FILE_ATTRIBUTE_READONLY));

  write("Game", "new");

  EXPECT_EQ("old", read("Game"));
  EXPECT_EQ(std::vector<std::string>{"settings.ini"}, folder.names());
  SetFileAttributesW((folder / "settings.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// An editor or a virus scanner may hold the file open without letting it be replaced: the value is then
// written into the file itself, and the reader's open file sees it.
TEST_F(WindowsSettingsTest, AFileHeldOpenByAReaderThatForbidsReplacingIsWrittenInPlace) {
  folder.write("settings.ini", "[General]\r\nGame=old\r\n");
  const HANDLE reader = CreateFileW((folder / "settings.ini").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);

  write("Game", "newer");
  char bytes[64] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(reader, bytes, sizeof bytes, &got, nullptr));
  CloseHandle(reader);

  EXPECT_EQ("[General]\r\nGame=newer\r\n", std::string(bytes, got));
  EXPECT_EQ(std::vector<std::string>{"settings.ini"}, folder.names());
}

TEST_F(WindowsSettingsTest, AHardLinkedFileStaysOneFile) {
  folder.write("settings.ini", "[General]\r\nGame=old\r\n");
  ASSERT_TRUE(CreateHardLinkW((folder / "shared.ini").c_str(), (folder / "settings.ini").c_str(), nullptr));

  write("Game", "new");

  EXPECT_EQ("[General]\r\nGame=new\r\n", folder.read("shared.ini"));
  EXPECT_EQ(2u, settings::systemFileSystem().status(folder / "settings.ini").value.links);
}

TEST_F(WindowsSettingsTest, AFolderNamedOutsideAsciiHoldsTheSettings) {
  const std::filesystem::path inner = folder.path() / L"Zarn \u00c4\u00df \u4e2d";
  ASSERT_TRUE(std::filesystem::create_directory(inner));
  const std::filesystem::path file = inner / "settings.ini";

  INI::WriteIniValue(file, "General", "Game", "Zarn");

  EXPECT_EQ("Zarn", INI::ReadIniValue(file, "General", "Game", "none"));
  EXPECT_EQ("[General]\r\nGame=Zarn\r\n", readWholeFile(inner / "settings.ini"));
}

TEST_F(WindowsSettingsTest, StatusTellsAFolderAFileAndNothing) {
  settings::FileSystem& files = settings::systemFileSystem();
  folder.write("settings.ini", "12345");

  EXPECT_EQ(settings::FileStatus::Kind::kFolder, files.status(folder.path()).value.kind);
  const auto file = files.status(folder / "settings.ini");
  EXPECT_EQ(settings::FileStatus::Kind::kRegular, file.value.kind);
  EXPECT_EQ(5u, file.value.size);
  EXPECT_EQ(std::errc::no_such_file_or_directory, files.status(folder / "missing.ini").error);
  EXPECT_EQ(std::errc::no_such_file_or_directory, files.status(folder / "missing" / "settings.ini").error);
}

}  // namespace
