// The About box: its fixed texts, and the system-information launcher against a scripted registry and file
// system, call by call.
#include "dialogs/about_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/runtime_error.h"
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
  // GetKeyValue on the key "K", the caller's text starting as `before`.
  std::string lookUp(const std::string& valueName, const std::string& before = "") {
    std::string value = before;
    found = about.GetKeyValue(RegistryRoot::LocalMachine, "K", valueName, value);
    return value;
  }

  Journal journal;
  FakeSystem system{journal};
  RecordingDialogWindow window{journal};
  frmAbout about{system, window};
  bool found = false;
};

TEST_F(AboutBoxTest, WindowTexts) {
  EXPECT_EQ(about.lblVersion, "Version");
  about.Form_Load();
  EXPECT_EQ(about.lblVersion, "Version 1.0.0");
  const std::string disclaimer = "Warning: ... Use this program at your own risk -" + std::string(32, ' ') +
                                 "I cannot be held responsible for any" + std::string(31, ' ') +
                                 "problems  " + "which arrise out of the use" + std::string(29, ' ') +
                                 "of this software.";
  EXPECT_EQ(kAboutDisclaimer, disclaimer);
  EXPECT_EQ(disclaimer.size(), 230u);
  about.cmdOK_Click();
  EXPECT_EQ(journal.entries, (Entries{"Close"}));
}

// ---- Starting system information ----

TEST_F(AboutBoxTest, RecordedPathIsStartedAsItIsWithoutAFileTest) {
  system.addText(kPathKey, "PATH", "C:\\Program Files\\MSINFO\\MSINFO32.EXE\0"s);
  about.cmdSysInfo_Click();
  EXPECT_EQ(journal.entries, (Entries{kOpenPathKey, "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1",
                                      "StartProgram C:\\Program Files\\MSINFO\\MSINFO32.EXE"}));
}

TEST_F(AboutBoxTest, RecordedFolderIsUsedOnlyWhenItHoldsTheProgram) {
  system.addKey(kPathKey);  // present, but without the value
  system.addText(kFolderKey, "MSINFO", "C:\\Common\\MSINFO\0"s);
  about.StartSysInfo();
  EXPECT_EQ(journal.entries, (Entries{kOpenPathKey, "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1",
                                      kOpenFolderKey, "RegQueryValueEx 2 MSINFO 1024", "RegCloseKey 2",
                                      "FileExists C:\\Common\\MSINFO\\MSINFO32.EXE", kUnavailable}));
  journal.clear();
  system.addFile("C:\\Common\\MSINFO\\MSINFO32.EXE");
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
  system.addText(kPathKey, "PATH", "C:\\Gone\\msinfo32.exe");
  system.failStart = true;
  about.StartSysInfo();
  EXPECT_EQ(journal.entries, (Entries{kOpenPathKey, "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1",
                                      "StartProgram C:\\Gone\\msinfo32.exe", kUnavailable}));
}

TEST_F(AboutBoxTest, EmptyRecordedValueEndsInTheNoticeWithTheKeyClosed) {
  system.addValue(kPathKey, "PATH", RegistryValue{kRegistryText, std::vector<unsigned char>(1024, 0), 0});
  system.addText(kFolderKey, "MSINFO", "C:\\Tools");
  system.addFile("C:\\Tools\\MSINFO32.EXE");
  about.StartSysInfo();
  EXPECT_EQ(journal.entries,
            (Entries{kOpenPathKey, "RegQueryValueEx 1 PATH 1024", "RegCloseKey 1", kUnavailable}));
}

// ---- Registry lookup ----

TEST_F(AboutBoxTest, TextKeepsItsReportedBytesLessATerminatingZero) {
  system.addText("K", "With", "C:\\Windows\0"s);
  system.addText("K", "Without", "C:\\Windows");
  system.addText("K", "Cut", "C:\\Windows\0"s, 4);
  system.addText("K", "Full", std::string(1024, 'x'));
  system.addValue("K", "Short", RegistryValue{kRegistryText, {'a', 'b'}, 3});  // the buffer's rest is zero
  EXPECT_EQ(lookUp("With", "old"), "C:\\Windows");
  EXPECT_EQ(lookUp("Without", "old"), "C:\\Windows");
  EXPECT_EQ(lookUp("Cut"), "C:\\W");
  EXPECT_EQ(lookUp("Full"), std::string(1024, 'x'));
  EXPECT_EQ(lookUp("Short"), "ab");
  EXPECT_TRUE(found);
  EXPECT_EQ(system.openKeys(), 0u);
}

TEST_F(AboutBoxTest, NumberReadsAsHexBytesLastFirstAndOtherTypesKeepTheCallersText) {
  system.addValue("K", "Number", RegistryValue{kRegistryDword, {0x0F, 0xA0, 0x05, 0x12}, 4});
  system.addValue("K", "Small", RegistryValue{kRegistryDword, {0x05, 0x00, 0x00, 0x00}, 4});
  system.addValue("K", "Expand", RegistryValue{2, {'%', 'X', '%', 0}, 4});
  EXPECT_EQ(lookUp("Number", "old"), "&h1205A00F");
  EXPECT_EQ(lookUp("Small"), "&h000005");  // a zero last byte counts as a terminator here too
  EXPECT_EQ(lookUp("Expand", "caller's"), "caller's");
  EXPECT_TRUE(found);
}

TEST_F(AboutBoxTest, MissingKeyOrValueIsNotFoundAndEmptiesTheText) {
  EXPECT_EQ(lookUp("PATH", "caller's"), "");
  EXPECT_FALSE(found);
  system.addKey("K");
  EXPECT_EQ(lookUp("PATH", "caller's"), "");
  EXPECT_FALSE(found);
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
