// Settings file reader and writer, on real files in a fresh folder per test. Expected files are spelled out
// byte for byte, because operators' hand-edited files must survive a write untouched.
#include "settings/ini.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Read {
  std::string section, key, expected;
};

constexpr uid_t kNobodyId = 65534;

bool runningAsRoot() {
  return geteuid() == 0;
}

// Root may write any file, so where permissions are under test a root test run hands the file to the
// unprivileged user "nobody" and makes the write as that user, in a child process.
void giveToNobody(const fs::path& path) {
  if (runningAsRoot()) {
    ASSERT_EQ(chown(path.c_str(), kNobodyId, kNobodyId), 0);
  }
}

enum class As { kThisUser, kNobody };

// Runs `action` in a child process, so that a lowered identity or resource limit does not outlive it.
void inChildProcess(As as, const std::function<void()>& action) {
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    if (as == As::kNobody && runningAsRoot() &&
        (setgroups(0, nullptr) != 0 || setgid(kNobodyId) != 0 || setuid(kNobodyId) != 0)) {
      _exit(2);
    }
    action();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// No file may grow beyond `bytes`; a write past it fails with EFBIG instead of ending the process.
void limitFileSize(rlim_t bytes) {
  const rlimit limit{bytes, bytes};
  if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0)
    _exit(3);
}

// The host's file operations, but for the next call of one chosen kind, which fails with the chosen error
// as a full disk or a refusing host would fail it. Every call is logged by its kind.
class FailingFileSystem : public settings::FileSystem {
 public:
  enum class Call {
    kStatus,
    kOpenStatus,
    kOpen,
    kCreate,
    kRead,
    kWrite,
    kResize,
    kFlush,
    kSetOwner,
    kSetPermissions,
    kClose,
    kRename,
    kRemove
  };

  void failNext(Call call, std::errc error) {
    failing_ = call;
    error_ = std::make_error_code(error);
  }
  const std::vector<Call>& calls() const { return calls_; }

  settings::FileResult<settings::FileStatus> status(const fs::path& path) override {
    return forward(Call::kStatus, [&] { return host().status(path); });
  }
  settings::FileResult<settings::FileStatus> openStatus(settings::FileHandle file) override {
    return forward(Call::kOpenStatus, [&] { return host().openStatus(file); });
  }
  settings::FileResult<settings::FileHandle> open(const fs::path& path, Access access) override {
    return forward(Call::kOpen, [&] { return host().open(path, access); });
  }
  settings::FileResult<settings::FileHandle> create(const fs::path& path, fs::perms permissions) override {
    return forward(Call::kCreate, [&] { return host().create(path, permissions); });
  }
  settings::FileResult<std::size_t> readAt(settings::FileHandle file, std::span<char> buffer,
                                           std::uint64_t offset) override {
    return forward(Call::kRead, [&] { return host().readAt(file, buffer, offset); });
  }
  settings::FileResult<std::size_t> writeAt(settings::FileHandle file, std::string_view bytes,
                                            std::uint64_t offset) override {
    return forward(Call::kWrite, [&] { return host().writeAt(file, bytes, offset); });
  }
  std::error_code resize(settings::FileHandle file, std::uint64_t size) override {
    return forward(Call::kResize, [&] { return host().resize(file, size); });
  }
  std::error_code flush(settings::FileHandle file) override {
    return forward(Call::kFlush, [&] { return host().flush(file); });
  }
  std::error_code setOwner(settings::FileHandle file, std::uint32_t owner, std::uint32_t group) override {
    return forward(Call::kSetOwner, [&] { return host().setOwner(file, owner, group); });
  }
  std::error_code setPermissions(settings::FileHandle file, fs::perms permissions) override {
    return forward(Call::kSetPermissions, [&] { return host().setPermissions(file, permissions); });
  }
  // The file is closed either way, as a host closes it that could not write out its last data.
  std::error_code close(settings::FileHandle file) override {
    const std::error_code closed = host().close(file);
    return forward(Call::kClose, [&] { return closed; });
  }
  std::error_code rename(const fs::path& from, const fs::path& to) override {
    return forward(Call::kRename, [&] { return host().rename(from, to); });
  }
  std::error_code remove(const fs::path& path) override {
    return forward(Call::kRemove, [&] { return host().remove(path); });
  }

 private:
  static settings::FileSystem& host() { return settings::systemFileSystem(); }

  template <typename ToHost>
  auto forward(Call call, const ToHost& toHost) -> decltype(toHost()) {
    calls_.push_back(call);
    if (failing_ != call)
      return toHost();
    failing_.reset();
    if constexpr (std::is_same_v<decltype(toHost()), std::error_code>)
      return error_;
    else
      return {{}, error_};
  }

  std::vector<Call> calls_;
  std::optional<Call> failing_;
  std::error_code error_;
};
using Call = FailingFileSystem::Call;

class IniTest : public ::testing::Test {
 protected:
  std::string path() const { return (folder / "settings.ini").string(); }
  void givenFile(const std::string& content) const { folder.write("settings.ini", content); }
  std::string fileText() const { return folder.read("settings.ini"); }
  std::string read(const std::string& section, const std::string& key,
                   const std::string& defaultValue = "<default>") const {
    return INI::ReadIniValue(path(), section, key, defaultValue);
  }
  void expectReads(const std::vector<Read>& reads) const {
    for (const auto& [section, key, expected] : reads) {
      SCOPED_TRACE("[" + section + "] " + key);
      EXPECT_EQ(read(section, key), expected);
    }
  }
  void write(const std::string& section, const std::string& key, const std::string& value) const {
    EXPECT_EQ(INI::WriteIniValue(path(), section, key, value), 0);
  }
  // The settings file holds `content`, and nothing is left beside it.
  void expectOnlyFile(const std::string& content) const {
    EXPECT_EQ(fileText(), content);
    EXPECT_EQ(entriesInFolder(), 1u);
  }
  std::size_t entriesInFolder() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder.path()), {}));
  }
  // The program may write the settings file but not create a file beside it, until the test ends.
  void lockFolder() const {
    fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }

  TempFolder folder;
};

// ---- Reading ----

TEST_F(IniTest, MissingFileSectionOrKeyGivesDefault) {
  EXPECT_EQ(read("Vote", "Time"), "<default>");
  EXPECT_EQ(INI::ReadIniValue(folder.path().string(), "Vote", "Time", "dir"), "dir");
  givenFile("[Vote]\r\nTime=30\r\n");
  expectReads({{"Other", "Time", "<default>"}, {"Vote", "Other", "<default>"}, {"Vote", "Time", "30"}});
}

// In the file, blanks are spaces, tabs and vertical tabs; in the names a caller passes, only spaces are
// trimmed and a tab is part of the name. Inner blanks count.
TEST_F(IniTest, NamesIgnoreCaseAndSurroundingBlanks) {
  givenFile("[ \t\vVote Setup\v\t ]\n \t\v Max Time \v\t=\t\v 30 seconds \v\t\n\fForm=feed\n");
  const std::vector<Read> reads = {
      {"vote setup", "MAX TIME", "30 seconds"},  {"  VOTE SETUP ", " max time  ", "30 seconds"},
      {"VoteSetup", "Max Time", "<default>"},    {"\tVote Setup", "Max Time", "<default>"},
      {"Vote Setup\v", "Max Time", "<default>"}, {"Vote Setup", "Max Time\t", "<default>"},
      {"Vote Setup", "Form", "<default>"},       {"Vote Setup", "\fForm", "feed"}};
  expectReads(reads);
}

TEST_F(IniTest, CommentsStrayLinesAndKeysOutsideSectionsAreNotRead) {
  givenFile("Top=0\n[S]\n;A=1\n  \t\v;B=2\nC\nD=4;not a comment\nE = a=b\n");
  const std::vector<Read> reads = {{"", "Top", "<default>"},      {"S", "A", "<default>"},
                                   {"S", "B", "<default>"},       {"S", "C", "<default>"},
                                   {"S", "D", "4;not a comment"}, {"S", "E", "a=b"}};
  expectReads(reads);
}

// A section name ends at the first ']' and the rest of its line does not count; a '[' line without any
// ']' is still a header, naming the section up to the end of its line.
TEST_F(IniTest, SectionHeaderEndsAtFirstClosingBracket) {
  givenFile("[A] ; note ]\nK=a\n[B]C]\nK=b\n\v\t[ Open x=y \t\v\nK=open\n[Last\nK=last");
  const std::vector<Read> reads = {{"A", "K", "a"},           {"A] ; note", "K", "<default>"},
                                   {"B", "K", "b"},           {"B]C", "K", "<default>"},
                                   {"Open x=y", "K", "open"}, {"B", "[ Open x", "<default>"},
                                   {"Last", "K", "last"}};
  expectReads(reads);
}

TEST_F(IniTest, FirstSectionAndFirstKeyWin) {
  givenFile("[S]\nK=1\nk=2\n[T]\nK=t\n[s]\nK=3\nOnlyLater=4\n");
  expectReads({{"S", "K", "1"}, {"S", "OnlyLater", "<default>"}, {"T", "K", "t"}});
}

TEST_F(IniTest, ByteOrderMarkIsSkippedAndCrLfLfAndLoneCrEachEndALine) {
  givenFile("\xEF\xBB\xBF[S]\r\nA=1\r\nB=2\nC=3\rD=4\r\r\n\n[T]\rE=5");
  expectReads({{"S", "A", "1"}, {"S", "B", "2"}, {"S", "C", "3"}, {"S", "D", "4"}, {"T", "E", "5"}});
}

// Each value as it stands after "K=" in the file, and what a read gives back. Present but empty is no
// default.
TEST_F(IniTest, ValueLosesSurroundingBlanksAndOneMatchingPairOfQuotes) {
  const Pairs cases = {{"\"a b\"", "a b"},   {"'x'", "x"},       {"  \" in \"  ", " in "},
                       {"\"x'", "\"x'"},     {"\"", "\""},       {"'abc", "'abc"},
                       {"a\"b\"", "a\"b\""}, {"\"'q'\"", "'q'"}, {"", ""},
                       {" \t ", ""},         {"''", ""},         {"\"\"", ""}};
  for (const auto& [raw, expected] : cases) {
    SCOPED_TRACE("K=" + raw);
    givenFile("[S]\nK=" + raw + "\n");
    EXPECT_EQ(read("S", "K"), expected);
  }
}

// The cut counts code points and never splits one; a byte that starts no well-formed sequence counts as one.
TEST_F(IniTest, ValuesAndDefaultsAreCutTo254CodePoints) {
  std::string euros;
  for (int i = 0; i < 300; ++i)
    euros += "\xE2\x82\xAC";
  const std::string a253(253, 'a');
  givenFile("[S]\nLong=" + std::string(300, 'x') + "\nExact=" + std::string(254, 'y') + "\nEuros=" + euros +
            "\nEmoji=" + a253 + "\xF0\x9F\x98\x80z\nStray=" + std::string(300, '\xFF') +
            "\nTruncated=" + a253 + "\xE2\x82z\n");
  // An incomplete sequence is two stray bytes, so the cut falls between them.
  const std::vector<Read> reads = {
      {"S", "Long", std::string(254, 'x')},     {"S", "Exact", std::string(254, 'y')},
      {"S", "Euros", euros.substr(0, 254 * 3)}, {"S", "Emoji", a253 + "\xF0\x9F\x98\x80"},
      {"S", "Stray", std::string(254, '\xFF')}, {"S", "Truncated", a253 + "\xE2"}};
  expectReads(reads);
  EXPECT_EQ(read("S", "Missing", std::string(300, 'x')), std::string(254, 'x'));
  EXPECT_EQ(read("S", "Missing", a253 + "\xC3\xA9" + "b"), a253 + "\xC3\xA9");
  // Trailing spaces go before the cut, so a space the cut exposes stays.
  EXPECT_EQ(read("S", "Missing", std::string(253, 'x') + " y  "), std::string(253, 'x') + " ");
}

// Only trailing spaces go: leading blanks, and tabs, stay.
TEST_F(IniTest, DefaultLosesTrailingSpaces) {
  const Pairs cases = {{"  lead  ", "  lead"}, {"a b   ", "a b"}, {"tab\t", "tab\t"},
                       {"x \t ", "x \t"},      {"   ", ""},       {"\t", "\t"}};
  for (const auto& [defaultValue, expected] : cases) {
    SCOPED_TRACE("default \"" + defaultValue + "\"");
    EXPECT_EQ(read("S", "K", defaultValue), expected);
  }
  givenFile("[S]\nK= \n");
  EXPECT_EQ(read("S", "K", "unused "), "");
}

// ---- Writing ----

TEST_F(IniTest, WriteCreatesFileWithCrLfLinesAndWrittenValuesReadBack) {
  write("Vote", "Time", "30");
  write("Vote", "Text", "Kick \"Bob\"?");
  write("Other", "Time", "");
  write("vote", "TIME", "45");
  EXPECT_EQ(fileText(), "[Vote]\r\nTime=45\r\nText=Kick \"Bob\"?\r\n[Other]\r\nTime=\r\n");
  expectReads({{"Vote", "Time", "45"}, {"Vote", "Text", "Kick \"Bob\"?"}, {"Other", "Time", ""}});
  EXPECT_EQ(entriesInFolder(), 1u);  // no temporary file left behind
}

// A file before and after writing K=v into [S]: a missing section goes at the end, a missing key after the
// last key of the first matching section, and only the first occurrence of a key is replaced in place.
TEST_F(IniTest, WriteChangesOnlyTheLineItMust) {
  const std::string head = "\xEF\xBB\xBF; settings\r\n[s]\n  Other = 1 \r\n";
  const std::string tail = "\r\n   \t\n; trailing comment\rwhatever line\n[Next]\r\nK=9";
  const Pairs cases = {{"[A]\nX=1", "[A]\nX=1\r\n[S]\r\nK=v\r\n"},
                       {"[A]\nX=1\n", "[A]\nX=1\n[S]\r\nK=v\r\n"},
                       {"\xEF\xBB\xBF", "\xEF\xBB\xBF[S]\r\nK=v\r\n"},
                       {"[s]\nA=1\nstray\n\n; note\n[T]\nB=2\n[S]\nC=3\n",
                        "[s]\nA=1\nK=v\r\nstray\n\n; note\n[T]\nB=2\n[S]\nC=3\n"},
                       {"[S]\n; no keys yet\n[T]\n", "[S]\nK=v\r\n; no keys yet\n[T]\n"},
                       {"[T]\nB=2\n[S]", "[T]\nB=2\n[S]\r\nK=v\r\n"},
                       {"[S]\rA=1", "[S]\rA=1\r\nK=v\r\n"},
                       {"[S]\nK=1\nK=2\n[S]\nK=3\n", "[S]\nK=v\r\nK=2\n[S]\nK=3\n"},
                       {head + " \tk = 'old' \r" + tail, head + "k=v\r\n" + tail}};
  for (const auto& [before, after] : cases) {
    SCOPED_TRACE(before);
    givenFile(before);
    write("S", "K", "v");
    EXPECT_EQ(fileText(), after);
  }
  EXPECT_EQ(entriesInFolder(), 1u);
}

// The writer trims only spaces from the names it is given, as the reader does.
TEST_F(IniTest, WriteTrimsOnlySpacesFromNames) {
  givenFile("[S]\r\n");
  write(" S ", "  K ", "v");
  write("S", "K\t", "w");
  write("\tS", "K", "x");
  EXPECT_EQ(fileText(), "[S]\r\nK=v\r\nK\t=w\r\n[\tS]\r\nK=x\r\n");
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
  fs::create_directory(folder / "dir");
  for (const fs::path& target :
       {folder / "settings.ini" / "inner.ini", folder / "missing" / "inner.ini", folder / "dir"}) {
    EXPECT_EQ(INI::WriteIniValue(target.string(), "S", "K", "v"), 0);
  }
  EXPECT_TRUE(fs::is_empty(folder / "dir"));
  EXPECT_EQ(fileText(), "K=1\n");
  EXPECT_EQ(entriesInFolder(), 2u);
}

// The owner can only be kept by a process that may give files away, so it is checked as root.
TEST_F(IniTest, WriteKeepsPermissionsOwnerAndLinks) {
  givenFile("[S]\nK=1\n");
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path(), mode);
  giveToNobody(path());
  struct stat before {};
  ASSERT_EQ(stat(path().c_str(), &before), 0);
  fs::create_symlink(path(), folder / "link.ini");
  EXPECT_EQ(INI::WriteIniValue((folder / "link.ini").string(), "S", "K", "2"), 0);
  EXPECT_TRUE(fs::is_symlink(folder / "link.ini"));
  EXPECT_EQ(fileText(), "[S]\nK=2\r\n");
  struct stat after {};
  ASSERT_EQ(stat(path().c_str(), &after), 0);
  EXPECT_EQ(fs::status(path()).permissions() & fs::perms::mask, mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
}

// A new settings file may be read and written by everyone the process's file mask lets, as any new file.
TEST_F(IniTest, NewFileGetsReadAndWritePermissionLessTheMask) {
  inChildProcess(As::kThisUser, [this] {
    umask(027);
    INI::WriteIniValue(path(), "S", "K", "v");
  });
  EXPECT_EQ(fs::status(path()).permissions() & fs::perms::mask,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A write puts a new file in the old one's place, so a reader that opened the settings before the write
// goes on reading the old content whole, never a mix of old and new.
TEST_F(IniTest, ReaderOfTheOldFileKeepsTheOldContent) {
  givenFile("[S]\r\nK=1\r\n");
  std::ifstream reader(path(), std::ios::binary);
  write("S", "K", "2");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "[S]\r\nK=1\r\n");
  EXPECT_EQ(fileText(), "[S]\r\nK=2\r\n");
}

// The new file takes the old one's place only once all of it is on the disk. When it cannot be written,
// flushed or closed, it is thrown away and the old file stays as it was: not rewritten in place either.
TEST_F(IniTest, NewFileThatDidNotReachTheDiskLeavesTheOldOneAsItWas) {
  const std::pair<Call, const char*> failures[] = {
      {Call::kWrite, "write"}, {Call::kFlush, "flush"}, {Call::kClose, "close"}};
  for (const auto& [call, name] : failures) {
    SCOPED_TRACE(name);
    givenFile("[S]\r\nK=1\r\n");
    FailingFileSystem files;
    files.failNext(call, std::errc::no_space_on_device);
    INI::WriteIniValue(files, path(), "S", "K", "2");
    expectOnlyFile("[S]\r\nK=1\r\n");
  }
}

// Permissions are not the only reason the host may refuse to open a file for writing (a read-only file
// system, an access list, a file in use); whatever the reason, the file is not replaced either.
TEST_F(IniTest, FileTheHostWillNotOpenForWritingIsNotReplaced) {
  givenFile("[S]\r\nK=1\r\n");
  FailingFileSystem files;
  files.failNext(Call::kOpen, std::errc::read_only_file_system);
  INI::WriteIniValue(files, path(), "S", "K", "2");
  expectOnlyFile("[S]\r\nK=1\r\n");
}

// A file rewritten in place (here because a second link shares it), the same length, longer or shorter,
// is flushed to the disk after its last change and before it is closed.
TEST_F(IniTest, FileRewrittenInPlaceIsFlushedAfterItsLastChange) {
  givenFile("[S]\r\nK=1\r\n");
  fs::create_hard_link(path(), folder / "backup.ini");
  for (const char* value : {"2", "longer", ""}) {
    SCOPED_TRACE(value);
    FailingFileSystem files;
    INI::WriteIniValue(files, path(), "S", "K", value);
    const std::vector<Call>& calls = files.calls();
    const auto lastChange = std::find_if(calls.rbegin(), calls.rend(), [](Call call) {
      return call == Call::kWrite || call == Call::kResize;
    });
    ASSERT_NE(lastChange, calls.rend());
    EXPECT_EQ(std::vector<Call>(lastChange.base(), calls.end()), (std::vector{Call::kFlush, Call::kClose}));
  }
  EXPECT_EQ(fileText(), "[S]\r\nK=\r\n");
  EXPECT_EQ(folder.read("backup.ini"), fileText());
}

// A settings file that may be written in a folder that may not (a system-wide install) is rewritten in
// place: shorter, longer and with a new section, every other byte kept.
TEST_F(IniTest, FileInLockedFolderIsWrittenInPlace) {
  givenFile("[S]\r\nLong=" + std::string(40, 'x') + "\r\nK=1\r\n; end\r\n");
  giveToNobody(path());
  lockFolder();
  inChildProcess(As::kNobody, [this] {
    INI::WriteIniValue(path(), "S", "Long", "");
    INI::WriteIniValue(path(), "S", "K", "22");
    INI::WriteIniValue(path(), "T", "X", "y");
  });
  expectOnlyFile("[S]\r\nLong=\r\nK=22\r\n; end\r\n[T]\r\nX=y\r\n");
}

// A file that someone else owns in a shared folder (sticky bit) may be written but not replaced.
TEST_F(IniTest, FileThatMayNotBeReplacedIsWrittenInPlace) {
  if (!runningAsRoot())
    GTEST_SKIP() << "needs a second user to own the file";
  givenFile("[S]\nK=1\n");
  fs::permissions(
      path(), fs::perms::owner_all | fs::perms::group_all | fs::perms::others_read | fs::perms::others_write);
  fs::permissions(folder.path(), fs::perms::all | fs::perms::sticky_bit);
  inChildProcess(As::kNobody, [this] { INI::WriteIniValue(path(), "S", "K", "2"); });
  expectOnlyFile("[S]\nK=2\r\n");
}

// A write that runs out of room, here at a file-size limit, leaves the old file byte for byte, whether
// it went to a temporary file or in place, and leaves nothing else behind.
TEST_F(IniTest, WriteStoppedPartWayLeavesOldFileWhole) {
  std::string original = "\xEF\xBB\xBF[S]\r\nK=1\r\n";
  while (original.size() < 1000)
    original += "; comment line\r\n";
  const std::string longValue(3000, 'v');
  givenFile(original);
  inChildProcess(As::kThisUser, [&] {
    limitFileSize(2048);
    INI::WriteIniValue(path(), "S", "K", longValue);
    INI::WriteIniValue(path(), "New", "K", longValue);
  });
  expectOnlyFile(original);

  giveToNobody(path());
  lockFolder();
  inChildProcess(As::kNobody, [&] {
    limitFileSize(2048);
    INI::WriteIniValue(path(), "S", "K", longValue);
    INI::WriteIniValue(path(), "New", "K", longValue);
    INI::WriteIniValue(path(), "S", "K", "fits");
  });
  std::string expected = original;
  expected.replace(expected.find("K=1"), 3, "K=fits");
  expectOnlyFile(expected);
}

// A read-only settings file stays as it is, even in a folder where it could be replaced, and even to root.
TEST_F(IniTest, ReadOnlyFileIsNotWritten) {
  givenFile("[S]\nK=1\n");
  fs::permissions(path(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  giveToNobody(folder.path());
  giveToNobody(path());
  inChildProcess(As::kNobody, [this] { INI::WriteIniValue(path(), "S", "K", "2"); });
  write("S", "K", "3");
  expectOnlyFile("[S]\nK=1\n");
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

TEST_F(IniTest, NulBytesAreOrdinaryCharacters) {
  const std::string content = "[S\0x]\n\0\0\0\nK\0=v\0w\n[T]\nA=1\n"s;
  givenFile(content);
  expectReads({{"S\0x"s, "K\0"s, "v\0w"s}, {"S", "K", "<default>"}, {"T", "A", "1"}});
  write("T", "A", "2");
  EXPECT_EQ(fileText(), content.substr(0, 21) + "A=2\r\n");
}

TEST_F(IniTest, TenMegabyteFileWithHundredThousandCharacterLines) {
  const std::string longLine(100000, 'x');
  std::string content = "[Big]\r\n" + longLine + "\nLong=" + longLine + "\n;" + longLine + "\n";
  for (int i = 0; content.size() < 10'000'000; ++i)
    content += "Key" + std::to_string(i) + "=Value\r\n";
  content += "Last=found\r\n";
  givenFile(content);
  expectReads({{"big", "last", "found"}, {"Big", "Long", longLine.substr(0, 254)}});
  write("Big", "Key5", "changed");
  EXPECT_EQ(read("Big", "Key5"), "changed");
  EXPECT_EQ(fileText(), content.replace(content.find("Key5="), 10, "Key5=changed"));
}

// ---- Files that exist but cannot be read ----

// Each of these would read as an empty file, every key at its default. None may hold the caller up: a
// FIFO without a writer or a device that never ends would block a read or never finish it.
TEST_F(IniTest, UnreadableReasonSaysWhyAFileCannotBeReadAndNothingForAMissingOrReadableFile) {
  const std::string kUtf16 = "save it as ANSI or UTF-8 text";
  const struct {
    const char* name;
    std::function<void(const fs::path&)> make;
    std::string reason;
    std::string firstRun;  // what ReadIniValue gives for the key, or <default>
  } cases[] = {
      {"missing", [](const fs::path&) {}, "", "<default>"},
      {"readable", [&](const fs::path& p) { folder.write(p.filename(), "[General]\r\nFirst Run=False\r\n"); },
       "", "False"},
      {"UTF-8 with a byte-order mark",
       [&](const fs::path& p) { folder.write(p.filename(), "\xEF\xBB\xBF[General]\nFirst Run=False\n"); }, "",
       "False"},
      {"folder", [](const fs::path& p) { fs::create_directory(p); }, "is a folder", "<default>"},
      {"FIFO", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }, "is not a regular file",
       "<default>"},
      {"link to a device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       "is not a regular file", "<default>"},
      {"link to nowhere", [](const fs::path& p) { fs::create_symlink("missing.ini", p); }, "", "<default>"},
      {"beyond 64 MB",
       [&](const fs::path& p) {
         folder.write(p.filename(), "[General]\nFirst Run=False\n");
         fs::resize_file(p, (64 << 20) + 1);  // sparse: takes no room
       },
       "is larger than 64 MB", "<default>"},
      {"UTF-16 LE", [&](const fs::path& p) { folder.write(p.filename(), "\xFF\xFE[\0G\0]\0\r\0\n\0"s); },
       "is UTF-16 text; " + kUtf16, "<default>"},
      {"UTF-16 BE", [&](const fs::path& p) { folder.write(p.filename(), "\xFE\xFF\0[\0G\0]\0\r\0\n"s); },
       "is UTF-16 text; " + kUtf16, "<default>"},
      {"UTF-16 without a byte-order mark",
       [&](const fs::path& p) { folder.write(p.filename(), "[\0G\0]\0\r\0\n\0"s); },
       "holds NUL bytes, as UTF-16 text does; " + kUtf16, "<default>"},
  };
  for (const auto& [name, make, reason, firstRun] : cases) {
    SCOPED_TRACE(name);
    const fs::path p = folder / (std::string(name) + ".ini");
    make(p);
    EXPECT_EQ(INI::unreadableReason(p.string()), reason);
    EXPECT_EQ(INI::ReadIniValue(p.string(), "General", "First Run", "<default>"), firstRun);
    // The chooser's write leaves UTF-16 text as it was.
    if (reason.starts_with("is UTF-16")) {
      const auto before = fs::file_size(p);
      INI::WriteIniValue(p.string(), "General", "First Run", "False");
      EXPECT_EQ(before, fs::file_size(p));
    }
  }
}

// Root reads any file, so as root the check runs as the unprivileged user "nobody".
TEST_F(IniTest, UnreadableReasonOfAFileWithoutReadPermissionIsTheSystemsWord) {
  givenFile("[General]\r\nFirst Run=False\r\n");
  fs::permissions(path(), fs::perms::none);
  inChildProcess(As::kNobody, [this] {
    if (INI::unreadableReason(path()) != "Permission denied" || read("General", "First Run") != "<default>")
      _exit(1);
  });
}

// A settings file shared through its group: owned by one user, writable by the group, nothing for
// others. Another member of the group writes it (the chooser's OK). A replacement could not keep its owner
// and would lock the owner out; it is written in place and keeps both owner and group.
TEST(IniSharingTest, AGroupSharedFileWrittenByAnotherMemberKeepsItsOwnerAndGroup) {
  if (!runningAsRoot())
    GTEST_SKIP() << "needs two users and a group";
  constexpr uid_t kOwner = 4242;
  constexpr gid_t kSharedGroup = 4243;
  constexpr uid_t kOtherMember = 65534;
  TempFolder folder;
  fs::permissions(folder.path(), fs::perms::all);  // a shared folder, no sticky bit
  const fs::path path = folder / "settings.ini";
  folder.write("settings.ini", "[General]\r\nFirst Run=True\r\n");
  ASSERT_EQ(chown(path.c_str(), kOwner, kSharedGroup), 0);
  ASSERT_EQ(chmod(path.c_str(), 0660), 0);

  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    const gid_t groups[] = {kSharedGroup};
    if (setgroups(1, groups) != 0 || setgid(kOtherMember) != 0 || setuid(kOtherMember) != 0)
      _exit(2);
    INI::WriteIniValue(path.string(), "General", "First Run", "False");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_EQ("[General]\r\nFirst Run=False\r\n", folder.read("settings.ini"));
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(kOwner, after.st_uid);
  EXPECT_EQ(kSharedGroup, after.st_gid);
  EXPECT_EQ(0660u, after.st_mode & 07777);
}

// A settings file with a second (hard) link, as a backup or a shared copy an operator made: the profile
// functions write the file itself, so both names show the change. A rename over one name leaves the other
// with the old content.
TEST(IniSharingTest, AHardLinkedSettingsFileStaysOneFile) {
  TempFolder folder;
  const fs::path path = folder / "settings.ini";
  folder.write("settings.ini", "[General]\r\nFirst Run=True\r\n");
  fs::create_hard_link(path, folder / "backup.ini");
  INI::WriteIniValue(path.string(), "General", "First Run", "False");
  EXPECT_EQ("[General]\r\nFirst Run=False\r\n", folder.read("settings.ini"));
  EXPECT_EQ(folder.read("settings.ini"), folder.read("backup.ini"));
  EXPECT_EQ(2u, fs::hard_link_count(path));
}

}  // namespace
