// The Windows link's rules without a game: which window is the game's, how reads and writes are cut at
// page edges (against a memory whose pages are readable or not), the keys it may press, the lock's name.
#include "memlink/windows/link_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

using winlink::MemoryFailure;
using winlink::WindowEntry;

constexpr std::size_t kPage = 16;  // small pages keep the cases readable

TEST(WindowsLinkRules, TheGameIsTheOneWindowWhoseTitleMatchesByteForByte) {
  const std::string title = "Delta Force Land Warrior,  V1.00.42";
  const WindowEntry game{0x10, 7, title};
  const std::vector<WindowEntry> others{{0x20, 8, "Delta Force Land Warrior, V1.00.42"},
                                        {0x30, 8, "delta force land warrior,  v1.00.42"},
                                        {0x40, 9, title + " "},
                                        {0x50, 9, ""}};
  std::vector<WindowEntry> all = others;
  all.push_back(game);
  const auto found = winlink::matchTitle(all, title);
  ASSERT_TRUE(found.found) << found.problem;
  EXPECT_EQ(0x10u, found.found->handle);
  EXPECT_EQ(7u, found.found->pid);

  EXPECT_EQ("no window titled \"" + title + "\"", winlink::matchTitle(others, title).problem);
  EXPECT_FALSE(winlink::matchTitle(others, title).found);

  all.push_back({0xabc, 12, title});
  const auto twice = winlink::matchTitle(all, title);
  EXPECT_FALSE(twice.found);
  EXPECT_EQ("2 windows are titled \"" + title +
                "\" (window 0x10 of process 7, window 0xabc of process 12): more than one program shows "
                "that title; close all but the game",
            twice.problem);
}

// A process's memory of a few pages, some of which cannot be read; every transfer is recorded and must
// stay inside one page.
class PagedMemory : public ::testing::Test {
 protected:
  PagedMemory() : bytes(4 * kPage, 'x') {}

  winlink::MemoryTransfer transfer(bool write) {
    return [this, write](std::uint64_t address, char* data, std::size_t length, MemoryFailure& failed) {
      EXPECT_EQ(address / kPage, (address + length - 1) / kPage) << "a transfer crossed a page edge";
      transfers.push_back(length);
      for (std::uint64_t page = address / kPage; page <= (address + length - 1) / kPage; ++page) {
        if (page >= bytes.size() / kPage || unreadable.count(page) != 0) {
          failed = {299, "no memory at that address", true};
          return false;
        }
      }
      for (std::size_t i = 0; i < length; ++i) {
        if (write)
          bytes[address + i] = data[i];
        else
          data[i] = bytes[address + i];
      }
      return true;
    };
  }

  bool read(std::uint64_t address, std::size_t maxLength) {
    return winlink::readText(transfer(false), address, maxLength, kPage, text, failure);
  }

  std::string bytes;
  std::set<std::uint64_t> unreadable;
  std::vector<std::size_t> transfers;
  std::string text;
  MemoryFailure failure;
};

TEST_F(PagedMemory, ATextEndsAtItsNulAtTheLengthAskedOrWhereReadableMemoryEnds) {
  bytes.replace(2, 6, std::string("hello\0", 6));
  ASSERT_TRUE(read(2, 90));
  EXPECT_EQ("hello", text);
  EXPECT_EQ(std::vector<std::size_t>{14}, transfers) << "a text inside one page takes one transfer";

  ASSERT_TRUE(read(2, 3));
  EXPECT_EQ("hel", text);
  ASSERT_TRUE(read(2, 0));
  EXPECT_EQ("", text);

  // No NUL before the next page, which cannot be read: the text ends at the page edge.
  unreadable.insert(1);
  transfers.clear();
  ASSERT_TRUE(read(10, 90));
  EXPECT_EQ("xxxxxx", text);
  EXPECT_EQ((std::vector<std::size_t>{6, 16}), transfers);

  // Across readable pages, page by page, up to the length asked.
  unreadable.clear();
  transfers.clear();
  ASSERT_TRUE(read(10, 30));
  EXPECT_EQ(std::string(30, 'x'), text);
  EXPECT_EQ((std::vector<std::size_t>{6, 16, 8}), transfers);
}

TEST_F(PagedMemory, NothingReadableAtTheFirstByteIsAnErrorWithTheReason) {
  unreadable.insert(2);
  EXPECT_FALSE(read(2 * kPage + 5, 90));
  EXPECT_EQ("", text);
  EXPECT_EQ(299u, failure.code);
  EXPECT_EQ("no memory at that address", failure.description);
  EXPECT_FALSE(read(100 * kPage, 1)) << "beyond the process's memory";
}

TEST_F(PagedMemory, AWriteLandsWholeAcrossPagesOrFails) {
  MemoryFailure failed;
  ASSERT_TRUE(winlink::writeBytes(transfer(true), 12, std::string("punt 3\0", 7), kPage, failed));
  EXPECT_EQ(std::string("punt 3\0", 7), bytes.substr(12, 7));
  EXPECT_EQ((std::vector<std::size_t>{4, 3}), transfers);

  unreadable.insert(3);
  EXPECT_FALSE(winlink::writeBytes(transfer(true), 3 * kPage - 2, "ban 4", kPage, failed));
  EXPECT_TRUE(failed.noMemory);
}

TEST(WindowsLinkRules, OnlyTheConsoleKeyAndEnterArePressed) {
  ASSERT_TRUE(winlink::strokeFor(192));
  EXPECT_EQ(192, winlink::strokeFor(192)->virtualKey);
  EXPECT_EQ(0x29, winlink::strokeFor(192)->usScanCode);
  ASSERT_TRUE(winlink::strokeFor(13));
  EXPECT_EQ(0x1C, winlink::strokeFor(13)->usScanCode);
  for (const int other : {0, 9, 27, 65, 191, 193, -64})
    EXPECT_FALSE(winlink::strokeFor(other)) << other;
}

TEST(WindowsLinkRules, TheLockNamesTheProcessAndItsStartAndItsHolderWhenKnown) {
  EXPECT_EQ("Local\\zarn-vote-game-1234-133456789012345678",
            winlink::gameLockName(1234, 133456789012345678u));
  EXPECT_NE(winlink::gameLockName(1234, 1), winlink::gameLockName(1234, 2));
  EXPECT_EQ(
      "the game's process 1234 is already driven by another zarn-vote (process 99); this copy attaches "
      "once that one has let go of it",
      winlink::gameDrivenElsewhere(1234, 99));
  EXPECT_EQ(std::string::npos, winlink::gameDrivenElsewhere(1234, 0).find("(process"));
}

}  // namespace
