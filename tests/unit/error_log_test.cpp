// The error log on real files. Entries are compared byte for byte with the classic locale, because the
// operators' tools split the lines on " - " and CR LF.
#include "app/error_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <locale>
#include <optional>
#include <string>

#include "support/fixed_clock.h"
#include "support/temp_folder.h"
#include "votes/fair_votes.h"

namespace {

class ErrorLogTest : public ::testing::Test {
 protected:
  ErrorLog logAt(const std::filesystem::path& file) const {
    return ErrorLog(file, clock, std::locale::classic());
  }
  std::string logText() const { return folder.read("errors.log"); }
  std::string setAsideText() const { return folder.read("errors.old.log"); }
  // A processing-tick entry as the log writes it.
  static std::string entry(const std::string& description) {
    return "12/07/26 - 09:05:30 - " + description + " - Vote Processing\r\n";
  }

  TempFolder folder;
  FixedClock clock;
  ErrorLog log = logAt(folder / "errors.log");
};

TEST_F(ErrorLogTest, EntriesHaveFiveOrFourFieldsAndEndInCrLf) {
  ASSERT_FALSE(std::filesystem::exists(log.file()));
  log.append("Overflow", "!vote map 3", kVoteCollection);
  EXPECT_EQ(logText(), "12/07/26 - 09:05:30 - Overflow - !vote map 3 - Vote Collection\r\n");

  clock.time.tm_hour = 23;
  clock.time.tm_mday = 31;
  log.append("Type mismatch", kVoteProcessing);
  EXPECT_EQ(logText(),
            "12/07/26 - 09:05:30 - Overflow - !vote map 3 - Vote Collection\r\n"
            "12/31/26 - 23:05:30 - Type mismatch - Vote Processing\r\n");
}

TEST_F(ErrorLogTest, EmptyChatLineKeepsItsField) {
  log.append("Overflow", "", kVoteCollection);
  EXPECT_EQ(logText(), "12/07/26 - 09:05:30 - Overflow -  - Vote Collection\r\n");
}

TEST_F(ErrorLogTest, AppendsAfterExistingContentUntouched) {
  // No trailing newline and a stray LF: whatever an operator left there stays as it is.
  const std::string existing = "old entry\r\nhand note\nno end";
  folder.write("errors.log", existing);
  log.append("Subscript out of range", kVoteProcessing);
  EXPECT_EQ(logText(), existing + "12/07/26 - 09:05:30 - Subscript out of range - Vote Processing\r\n");
}

TEST_F(ErrorLogTest, UnwritableLogDropsTheEntryQuietly) {
  const ErrorLog missingFolder = logAt(folder / "missing" / "errors.log");
  EXPECT_NO_THROW(missingFolder.append("Overflow", "line", kVoteCollection));
  EXPECT_FALSE(std::filesystem::exists(folder / "missing"));

  folder.write("plain", "x");
  const ErrorLog fileAsFolder = logAt(folder / "plain" / "errors.log");
  EXPECT_NO_THROW(fileAsFolder.append("Overflow", kVoteProcessing));
  EXPECT_EQ(folder.read("plain"), "x");

  const ErrorLog folderAsFile = logAt(folder.path());
  EXPECT_NO_THROW(folderAsFile.append("Overflow", kVoteProcessing));
}

TEST_F(ErrorLogTest, AFullLogIsSetAsideAndTheEntryThatWouldOverfillItStartsAFreshOne) {
  log.setSizeLimit(2 * entry("e1").size());
  log.append("e1", kVoteProcessing);
  log.append("e2", kVoteProcessing);
  EXPECT_EQ(logText(), entry("e1") + entry("e2"));  // exactly at the limit is not past it
  log.append("e3", kVoteProcessing);
  EXPECT_EQ(setAsideText(), entry("e1") + entry("e2"));
  EXPECT_EQ(logText(), entry("e3"));

  for (const char* description : {"e4", "e5"})
    log.append(description, kVoteProcessing);
  EXPECT_EQ(setAsideText(), entry("e3") + entry("e4"));
  EXPECT_EQ(logText(), entry("e5"));

  log.setSizeLimit(10);  // an entry larger than the limit still goes whole, into a fresh file
  log.append("e6", kVoteProcessing);
  EXPECT_EQ(setAsideText(), entry("e5"));
  EXPECT_EQ(logText(), entry("e6"));
}

// A log that cannot be set aside keeps every entry up to twice its limit, then starts again from empty: the
// disk stays bounded. A FIFO in the log's place takes nothing and never blocks the tick.
TEST_F(ErrorLogTest, ALogThatCannotBeSetAsideStaysBounded) {
  std::filesystem::create_directories(folder / "errors.old.log" / "operator's");
  log.setSizeLimit(entry("e1").size());
  log.append("e1", kVoteProcessing);
  log.append("e2", kVoteProcessing);
  EXPECT_EQ(logText(), entry("e1") + entry("e2"));
  log.append("e3", kVoteProcessing);
  EXPECT_EQ(logText(), entry("e3"));
  EXPECT_TRUE(std::filesystem::is_directory(folder / "errors.old.log" / "operator's"));

  std::filesystem::remove(folder / "errors.log");
  ASSERT_EQ(0, ::mkfifo((folder / "errors.log").c_str(), 0600));
  log.append("e4", kVoteProcessing);  // would hang here if it opened the FIFO
  EXPECT_TRUE(std::filesystem::is_fifo(folder / "errors.log"));
}

// Chat lines and names come from game memory and may hold any byte; none may end an entry early.
TEST_F(ErrorLogTest, ControlBytesAreWrittenVisiblyInBothLogs) {
  FairVotes votes(folder / "votes.log", clock, std::locale::classic());
  votes.settings.auditLog = true;
  std::string echoed;
  votes.echoAuditLines([&echoed](const std::string& line) { echoed = line; });
  const std::pair<std::string, std::string> cases[] = {
      // raw, written
      {"a\rb", "a\\rb"},
      {"a\nb", "a\\nb"},
      {"x\r\n12/07/26 - 09:05:30 - forged - Vote Processing",
       "x\\r\\n12/07/26 - 09:05:30 - forged - Vote Processing"},
      {"\x01\t\x1b\x1f", "\\x01\\t\\x1B\\x1F"},
      {"C:\\x41\\n", "C:\\\\x41\\\\n"},
      {"del\x7f", "del\\x7F"},
      {"caf\xe9 ~", "caf\xe9 ~"},
  };
  for (const auto& [raw, written] : cases) {
    std::filesystem::remove(log.file());
    std::filesystem::remove(votes.auditFile());
    log.append("Overflow", raw, kVoteCollection);
    votes.audit("Operator punt - player 3 \"" + raw + "\"");
    EXPECT_EQ(logText(), "12/07/26 - 09:05:30 - Overflow - " + written + " - Vote Collection\r\n") << raw;
    const std::string audited = "12/07/26 - 09:05:30 - Operator punt - player 3 \"" + written + "\"";
    EXPECT_EQ(folder.read("votes.log"), audited + "\r\n") << raw;
    EXPECT_EQ(echoed, audited) << raw;
  }
}

TEST(ErrorLogLocaleTest, UnusableEnvironmentLocaleFallsBack) {
  const char* previous = std::getenv("LC_ALL");
  const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
  ASSERT_EQ(setenv("LC_ALL", "xx_NOWHERE.bogus-42", 1), 0);

  std::optional<std::locale> locale;
  EXPECT_NO_THROW(locale = ErrorLog::environmentLocale());

  if (saved) {
    setenv("LC_ALL", saved->c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  ASSERT_TRUE(locale.has_value());
  EXPECT_EQ(locale->name(), std::locale::classic().name());
}

}  // namespace

namespace {

// A full disk, as a file-size limit makes it: entries that do not fit are lost whole, never cut in two, and
// the entries before them stay as they were. Runs in a child process, which alone gets the limit.
TEST(ErrorLogFullDiskTest, AnEntryThatDoesNotFitIsLostWhole) {
  TempFolder folder;
  const pid_t child = fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{300, 300};
    setrlimit(RLIMIT_FSIZE, &limit);
    FixedClock clock;
    const ErrorLog log(folder / "errors.log", clock, std::locale::classic());
    for (int entry = 0; entry < 20; ++entry)
      log.append("game link failed on call " + std::to_string(entry), kVoteProcessing);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the full disk ended the writer";
  const std::string text = folder.read("errors.log");
  const std::string first = "12/07/26 - 09:05:30 - game link failed on call 0 - Vote Processing\r\n";
  ASSERT_GE(text.size(), first.size());
  EXPECT_EQ(first, text.substr(0, first.size()));
  EXPECT_LE(text.size(), 300u);
  EXPECT_EQ(0u, text.size() % first.size()) << "only whole entries: " << text;
}

}  // namespace
