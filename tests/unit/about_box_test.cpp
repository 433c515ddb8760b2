// The About box: its version line, and the system-information launcher against a scripted registry and file
// system, call by call.
#include "dialogs/about_box.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/runtime_error.h"
#include "support/dialog_doubles.h"
#include "support/journal.h"

namespace {

using Entries = std::vector<std::string>;
using namespace std::string_literals;

const std::string kPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const std::string kOpenPathKey = "RegOpenKeyEx 0x80000002 " + kPathKey + " 0x2003F";
const std::string kOpenFolderKey = "RegOpenKeyEx 0x80000002 " + kFolderKey + " 0x2003F";
const std::string kUnavailable = "Notice System Information Is Unavailable At This Time";

class AboutBoxTest : public ::testing::Test {
 protected:
  Journal journal;
  FakeSystem system{journal};
  RecordingDialogWindow window{journal};
  TickNesting ticks;
  frmAbout about{system, window, ticks};
};

TEST_F(AboutBoxTest, LoadShowsTheVersionAndOkCloses) {
  about.Form_Load();
  EXPECT_EQ(about.lblVersion, "Version 1.0.0");
  about.cmdOK_Click();
  EXPECT_EQ(journal.entries, (Entries{"Close"}));
}

// ---- Starting system information ----

TEST_F(AboutBoxTest, RecordedPathIsStartedAsItIsWithoutAFileTest) {
  system.addValue(kPathKey, "PATH", textValue("C:\\Program Files\\MSINFO\\MSINFO32.EXE\0"s));
  about.cmdSysInfo_Click();
  EXPECT_EQ(journal.entries, (Entries{kOpenPathKey, "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1",
                                      "StartProgram C:\\Program Files\\MSINFO\\MSINFO32.EXE"}));
}

TEST_F(AboutBoxTest, RecordedFolderIsUsedOnlyWhenItHoldsTheProgram) {
  system.addKey(kPathKey);  // present, but without the value
  system.addValue(kFolderKey, "MSINFO", textValue("C:\\Common\\MSINFO\0"s));
  about.StartSysInfo();
  EXPECT_EQ(journal.entries, (Entries{kOpenPathKey, "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1",
                                      kOpenFolderKey, "RegQueryValueEx 2 MSINFO 1024", "RegCloseKey 2",
                                      "FileExists C:\\Common\\MSINFO\\MSINFO32.EXE", kUnavailable}));
  journal.clear();
  system.files.insert("C:\\Common\\MSINFO\\MSINFO32.EXE");
  about.StartSysInfo();
  EXPECT_EQ(journal.entries, (Entries{kOpenPathKey, "RegQueryValueEx 3 PATH 1024", "RegCloseKey 3",
                                      kOpenFolderKey, "RegQueryValueEx 4 MSINFO 1024", "RegCloseKey 4",
                                      "FileExists C:\\Common\\MSINFO\\MSINFO32.EXE",
                                      "StartProgram C:\\Common\\MSINFO\\MSINFO32.EXE"}));
}

TEST_F(AboutBoxTest, NeitherLocationOrAFailedStartGivesTheNotice) {
  about.StartSysInfo();
  EXPECT_EQ(journal.entries, (Entries{kOpenPathKey, kOpenFolderKey, kUnavailable}));

  journal.clear();
  system.addValue(kPathKey, "PATH", textValue("C:\\Gone\\msinfo32.exe"));
  system.failStart = true;
  about.StartSysInfo();
  EXPECT_EQ(journal.entries, (Entries{kOpenPathKey, "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1",
                                      "StartProgram C:\\Gone\\msinfo32.exe", kUnavailable}));
}

TEST_F(AboutBoxTest, EmptyRecordedValueEndsInTheNoticeWithTheKeyClosed) {
  system.addValue(kPathKey, "PATH", textValue("", 0));
  system.addValue(kFolderKey, "MSINFO", textValue("C:\\Tools"));
  system.files.insert("C:\\Tools\\MSINFO32.EXE");
  about.StartSysInfo();
  EXPECT_EQ(journal.entries,
            (Entries{kOpenPathKey, "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1", kUnavailable}));
}

// ---- Registry lookup ----

// Each stored value and what the lookup makes of the caller's text "caller's". The value's last byte is
// dropped when it is zero, for numbers too; a type other than text or number leaves the caller's text.
TEST_F(AboutBoxTest, FoundValueIsTextOrHexNumberLessATerminatingZero) {
  const std::vector<std::pair<RegistryValue, std::string>> cases = {
      {textValue("C:\\Windows\0"s), "C:\\Windows"},
      {textValue("C:\\Windows"), "C:\\Windows"},
      {textValue("C:\\Windows\0"s, 4), "C:\\W"},
      {textValue(std::string(1024, 'x')), std::string(1024, 'x')},
      {{kRegistryText, {'a', 'b'}, 3}, "ab"},  // the rest of a short answer's buffer is zero
      {{kRegistryDword, {0x0F, 0xA0, 0x05, 0x12}, 4}, "&h1205A00F"},
      {{kRegistryDword, {0x05, 0x00, 0x00, 0x00}, 4}, "&h000005"},
      {{2, {'%', 'X', '%', 0}, 4}, "caller's"}};
  for (const auto& [stored, expected] : cases) {
    SCOPED_TRACE(expected.substr(0, 20));
    system.addValue("K", "V", stored);
    std::string value = "caller's";
    EXPECT_TRUE(about.GetKeyValue(RegistryRoot::LocalMachine, "K", "V", value));
    EXPECT_EQ(value, expected);
    EXPECT_EQ(system.openKeys(), 0u);
  }
}

TEST_F(AboutBoxTest, MissingKeyOrValueIsNotFoundAndEmptiesTheText) {
  for (int round = 0; round < 2; ++round) {  // without the key, then with the key but not the value
    std::string value = "caller's";
    EXPECT_FALSE(about.GetKeyValue(RegistryRoot::LocalMachine, "K", "PATH", value));
    EXPECT_EQ(value, "");
    system.addKey("K");
  }
  EXPECT_EQ(journal.entries,
            (Entries{"RegOpenKeyEx 0x80000002 K 0x2003F", "RegOpenKeyEx 0x80000002 K 0x2003F",
                     "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1"}));
}

TEST_F(AboutBoxTest, SizeWithNoByteToTestInTheBufferIsARunTimeErrorThatClosesTheKey) {
  system.addValue("K", "Empty", RegistryValue{kRegistryText, {}, 0});
  system.addValue("K", "Huge", RegistryValue{kRegistryText, std::vector<unsigned char>(2048, 'a'), 1025});
  std::string value = "caller's";
  EXPECT_THROW(about.GetKeyValue(RegistryRoot::LocalMachine, "K", "Empty", value), RuntimeError);
  EXPECT_THROW(about.GetKeyValue(RegistryRoot::LocalMachine, "K", "Huge", value), RuntimeError);
  EXPECT_EQ(value, "caller's");
  EXPECT_EQ(system.openKeys(), 0u);
}

}  // namespace
