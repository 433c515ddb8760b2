// Where the settings file and the error log are looked for.
#include "app/program_folder.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace {

TEST(ProgramFolderTest, TheExecutablesFolderUnlessDirNamesAnother) {
  TempFolder exeFolder;
  TempFolder other;
  const auto executable = exeFolder / "zarn-vote";

  EXPECT_EQ(exeFolder.path(), programFolderFrom({}, executable).folder);
  EXPECT_EQ("", programFolderFrom({}, executable).error);
  EXPECT_EQ(other.path(), programFolderFrom({"--dir", other.path().string()}, executable).folder);

  EXPECT_EQ("--dir needs a folder", programFolderFrom({"--dir"}, executable).error);
  EXPECT_EQ("--dir needs a folder", programFolderFrom({"--dir", ""}, executable).error);
  const auto missing = other / "missing";
  EXPECT_EQ("not a folder: " + missing.string(),
            programFolderFrom({"--dir", missing.string()}, executable).error);
}

}  // namespace
