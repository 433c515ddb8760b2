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
    EXPECT_EQ(
        file().string() + " is damaged, so nobody voted out is remembered; set aside as voted-out.state.bad",
        votedOut.load(10))
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

// A file this program can see but not read: a service that runs as another user than the one who wrote it.
class UnreadableFileSystem final : public settings::FileSystem {
 public:
  using Path = std::filesystem::path;
  settings::FileResult<settings::FileStatus> status(const Path& path) override { return host_.status(path); }
  settings::FileResult<settings::FileStatus> openStatus(settings::FileHandle file) override {
    return host_.openStatus(file);
  }
  settings::FileResult<settings::FileHandle> open(const Path& path, Access access) override {
    if (refuse && access == Access::kRead)
      return {{}, std::make_error_code(std::errc::permission_denied)};
    return host_.open(path, access);
  }
  settings::FileResult<settings::FileHandle> create(const Path& path, std::filesystem::perms perms) override {
    return host_.create(path, perms);
  }
  settings::FileResult<std::size_t> readAt(settings::FileHandle file, std::span<char> buffer,
                                           std::uint64_t offset) override {
    return host_.readAt(file, buffer, offset);
  }
  settings::FileResult<std::size_t> writeAt(settings::FileHandle file, std::string_view bytes,
                                            std::uint64_t offset) override {
    return host_.writeAt(file, bytes, offset);
  }
  std::error_code resize(settings::FileHandle file, std::uint64_t size) override {
    return host_.resize(file, size);
  }
  std::error_code flush(settings::FileHandle file) override { return host_.flush(file); }
  std::error_code setOwner(settings::FileHandle file, std::uint32_t owner, std::uint32_t group) override {
    return host_.setOwner(file, owner, group);
  }
  std::error_code setPermissions(settings::FileHandle file, std::filesystem::perms perms) override {
    return host_.setPermissions(file, perms);
  }
  std::error_code close(settings::FileHandle file) override { return host_.close(file); }
  std::error_code rename(const Path& from, const Path& to) override { return host_.rename(from, to); }
  std::error_code remove(const Path& path) override { return host_.remove(path); }

  bool refuse = true;

 private:
  settings::FileSystem& host_ = settings::systemFileSystem();
};

// A file that could not be read or was damaged is set aside before the first new name is written, so that
// what it held is not written over: the operator may still read or mend it.
TEST_F(VotedOutTest, AFileThatCouldNotBeReadIsSetAsideNotWrittenOver) {
  const std::string written = VotedOut::serialize({{"Bob", clock.unixTime + 600}});
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "unreadable");
    folder.write("voted-out.state", damaged ? "zarn-vote voted out 1\n99 9 Bob\n" : written);
    UnreadableFileSystem files;
    files.refuse = !damaged;
    VotedOut votedOut(file(), clock, files);
    EXPECT_NE(std::string::npos, votedOut.load(10).find("set aside as voted-out.state.bad"));
    EXPECT_EQ("", votedOut.remember("Cy", 10));
    EXPECT_EQ(damaged ? "zarn-vote voted out 1\n99 9 Bob\n" : written, folder.read("voted-out.state.bad"));
    files.refuse = false;
    VotedOut again(file(), clock, files);
    EXPECT_EQ("", again.load(10));
    EXPECT_EQ(10, again.minutesLeft("Cy"));
  }
}

}  // namespace
