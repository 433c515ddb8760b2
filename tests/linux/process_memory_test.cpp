// Reading and writing another process's memory, against a plain child process that maps pages at fixed
// addresses the way a game keeps its data: page edges, unmapped memory, a process that ended, one that
// ended and was not reaped, and a reader without the right to attach.
#include "memlink/linux/process_memory.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

using linuxlink::ProcessMemoryFailure;

constexpr std::uint64_t kBase = 0x30000000;  // two pages mapped, the third left unmapped

// A child that maps two readable, writable pages at kBase, puts `setup` there and waits until it is
// stopped. The parent may then read and write its memory.
class ChildProcess {
 public:
  explicit ChildProcess(const std::function<void(char*)>& setup) {
    int ready[2];
    EXPECT_EQ(0, pipe(ready));
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      void* pages = mmap(reinterpret_cast<void*>(kBase), 2 * pageSize(), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
      if (pages != reinterpret_cast<void*>(kBase))
        _exit(3);
      setup(static_cast<char*>(pages));
      char byte = 1;
      if (write(ready[1], &byte, 1) != 1)
        _exit(4);
      while (true)
        pause();
    }
    close(ready[1]);
    char byte = 0;
    EXPECT_EQ(1, read(ready[0], &byte, 1)) << "the child could not map its pages";
    close(ready[0]);
  }
  ~ChildProcess() { end(); }

  pid_t pid() const { return pid_; }
  // Kills the child; `reap` decides whether it is also collected or stays a zombie.
  void kill(bool reap) {
    ::kill(pid_, SIGKILL);
    if (reap) {
      waitpid(pid_, nullptr, 0);
      reaped_ = true;
    }
  }
  void end() {
    if (!reaped_)
      kill(true);
  }
  static std::size_t pageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

 private:
  pid_t pid_ = 0;
  bool reaped_ = false;
};

std::uint64_t pageEnd() {
  return kBase + ChildProcess::pageSize();
}

TEST(ProcessMemory, TextsAcrossAndUpToPageEdges) {
  const std::string line = "Bob: /vote 3";
  ChildProcess child([&line](char* pages) {
    const std::size_t page = ChildProcess::pageSize();
    std::memcpy(pages + page - 5, line.c_str(), line.size() + 1);  // crosses into the second page
    std::memset(pages + 2 * page - 10, 'x', 10);                   // runs into the unmapped third page
    std::memcpy(pages, "0123456789", 10);
  });
  std::string text;
  ProcessMemoryFailure failure;
  ASSERT_TRUE(linuxlink::readText(child.pid(), pageEnd() - 5, 90, text, failure)) << failure.description;
  EXPECT_EQ(line, text);
  ASSERT_TRUE(linuxlink::readText(child.pid(), pageEnd() + ChildProcess::pageSize() - 10, 90, text, failure));
  EXPECT_EQ(std::string(10, 'x'), text) << "a string that runs into unmapped memory ends at the page edge";
  ASSERT_TRUE(linuxlink::readText(child.pid(), kBase, 4, text, failure));
  EXPECT_EQ("0123", text) << "at most the length asked";
  ASSERT_TRUE(linuxlink::readText(child.pid(), kBase + 100, 16, text, failure));
  EXPECT_EQ("", text) << "zeroed memory holds the empty text";

  EXPECT_FALSE(linuxlink::readText(child.pid(), kBase + 2 * ChildProcess::pageSize(), 90, text, failure));
  EXPECT_EQ(EFAULT, failure.error);
  EXPECT_NE(std::string::npos, failure.description.find("Bad address"));
}

TEST(ProcessMemory, WritesLandExactlyWhereAskedAndNowhereElse) {
  ChildProcess child([](char* pages) { std::memset(pages, '#', 2 * ChildProcess::pageSize()); });
  ProcessMemoryFailure failure;
  const std::string command("punt 3\0", 7);
  ASSERT_TRUE(linuxlink::writeBytes(child.pid(), pageEnd() - 3, command, failure)) << failure.description;
  std::string text;
  ASSERT_TRUE(linuxlink::readText(child.pid(), pageEnd() - 3, 90, text, failure));
  EXPECT_EQ("punt 3", text);
  ASSERT_TRUE(linuxlink::readText(child.pid(), pageEnd() - 8, 5, text, failure));
  EXPECT_EQ("#####", text) << "the bytes before are untouched";
  ASSERT_TRUE(linuxlink::readText(child.pid(), pageEnd() + 4, 3, text, failure));
  EXPECT_EQ("###", text) << "the bytes after the terminator are untouched";

  EXPECT_FALSE(linuxlink::writeBytes(child.pid(), pageEnd() + ChildProcess::pageSize() - 2, "talk", failure))
      << "a write that would run into unmapped memory fails";
  EXPECT_EQ(EFAULT, failure.error);
}

TEST(ProcessMemory, AnEndedProcessIsGoneEvenBeforeItIsReaped) {
  ChildProcess child([](char*) {});
  const linuxlink::ProcessWatch watch(child.pid());
  ProcessMemoryFailure failure;
  EXPECT_FALSE(watch.ended());
  EXPECT_TRUE(linuxlink::processAlive(child.pid()));
  EXPECT_TRUE(linuxlink::memoryReadable(child.pid(), failure)) << failure.description;

  child.kill(false);
  for (int i = 0; i < 1000 && linuxlink::processAlive(child.pid()); ++i)
    usleep(1000);
  EXPECT_FALSE(linuxlink::processAlive(child.pid())) << "a zombie is no running game";
  EXPECT_TRUE(watch.ended());
  EXPECT_FALSE(linuxlink::memoryReadable(child.pid(), failure));
  std::string text;
  EXPECT_FALSE(linuxlink::readText(child.pid(), kBase, 90, text, failure));
  EXPECT_EQ("no such process", failure.description);

  child.kill(true);
  EXPECT_FALSE(linuxlink::readText(child.pid(), kBase, 90, text, failure));
  EXPECT_EQ(ESRCH, failure.error);
}

TEST(ProcessMemory, AReaderWithoutTheRightToAttachIsToldTheRemedy) {
  if (getuid() != 0)
    GTEST_SKIP() << "needs root to run a reader as another user";
  const passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nullptr, nobody);
  ChildProcess game([](char* pages) { std::memcpy(pages, "Bob", 4); });
  int report[2];
  ASSERT_EQ(0, pipe(report));
  const pid_t reader = fork();
  if (reader == 0) {
    close(report[0]);
    if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
      _exit(3);
    ProcessMemoryFailure failure;
    const bool readable = linuxlink::memoryReadable(game.pid(), failure);
    const std::string said = (readable ? "readable" : failure.description);
    _exit(write(report[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 4);
  }
  close(report[1]);
  char buffer[1024] = {};
  const ssize_t got = read(report[0], buffer, sizeof buffer - 1);
  close(report[0]);
  int status = 0;
  waitpid(reader, &status, 0);
  ASSERT_GT(got, 0);
  const std::string said(buffer);
  EXPECT_NE("readable", said);
  EXPECT_NE(std::string::npos, said.find("CAP_SYS_PTRACE")) << said;
  EXPECT_NE(std::string::npos, said.find("ptrace_scope")) << said;
}

}  // namespace
