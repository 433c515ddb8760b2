#include "votes/vote_collection.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"
#include "common/conversions.h"
#include "votes/fair_votes.h"
#include "votes/vote_processing.h"
#include "votes/vote_table.h"

namespace {

constexpr std::int16_t kChatLength = 90;

// Pieces of the text between the separators, empty ones included ("a  b" split at " " is a, "", b).
// An empty text gives no pieces at all.
std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  if (text.empty())
    return pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t found = text.find(separator, start);
    if (found == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, found - start));
    start = found + separator.size();
  }
}

std::string_view piece(const std::vector<std::string_view>& pieces, std::size_t index) {
  if (index >= pieces.size())
    throw RuntimeError(kSubscriptOutOfRange);
  return pieces[index];
}

// Whether the line already stands in the vote log for a vote that still counts: a line listed once for
// each of its votes that expired no longer stands. The log is walked with a 16-bit index, so a log of
// 32,767 lines or more overflows unless the line is found first.
bool standsInVoteLog(const frmmain& window, std::string_view line) {
  const std::vector<std::string_view> pieces = split(window.Text1, "\r\n");
  int expired = window.fairVotes.expiredTimes(line);
  std::int16_t index = 0;
  for (const std::string_view logged : pieces) {
    if (logged == line && expired-- == 0)
      return true;
    index = conv::addInt16(index, 1);
  }
  return false;
}

// The slot a numeric vote word names ("03", "3.0" and "+3" all name slot 3), or nothing when it names no
// row of the vote table; such a vote then fails as it always did.
std::optional<int> slotVotedFor(const frmmain& window, std::string_view word) {
  const std::optional<double> number = conv::parseNumber(word);
  if (!number)
    return std::nullopt;
  try {
    const int slot = conv::roundToInt16(*number);
    if (slot >= 0 && static_cast<std::size_t>(slot) < window.List3.size())
      return slot;
  } catch (const RuntimeError&) {
  }
  return std::nullopt;
}

// The fair-vote rules on one vote: an immune name in the slot (as the last roster scan saw it) and, with
// one vote per player, a speaker who already counted against this target.
bool fairVoteCounts(const frmmain& window, std::optional<int> target, std::string_view speaker) {
  if (!target)
    return true;
  // The name last read in the slot, also when the latest roster scan failed before reaching it.
  const std::string_view name =
      *target == FairVotes::kMap ? std::string_view() : window.fairVotes.lastName(*target);
  return window.fairVotes.mayCount(*target, speaker, name);
}

void appendToVoteLog(frmmain& window, const std::string& line) {
  window.Text1 += line + "\r\n";
}

// Steps after the attach check; any failure propagates to the tick's error path.
void readAndCount(frmmain& window, std::string& chatLine) {
  chatLine = namingSetting("Memory/Chat", window.chatAddress, [&window] {
    return window.objMem.ReadString(window.chatAddress, ReadLength{kChatLength});
  });
  // The read may have found the game again after a restart: that game's votes start from none.
  window.startAfreshForNewGame();
  // Whether the line is new is settled before the yield: another collection tick may run in it (inside a
  // processing tick's pause) and read newer lines, which must stay the last line seen. The line read here
  // is still examined after the yield, so a vote that scrolled away meanwhile is not lost.
  const bool isNew = !chatLine.empty() && chatLine != window.lastChatLine;
  if (isNew)
    window.lastChatLine = chatLine;

  // Events already waiting run here: a processing tick or Clear Votes may reset the table meanwhile.
  window.host.yield();

  if (!isNew)
    return;

  const std::vector<std::string_view> parts = split(chatLine, ": ");
  const std::string_view message = piece(parts, 1);
  const std::vector<std::string_view> words = split(message, " ");
  if (piece(words, 0) != "/vote")
    return;
  if (window.fairVotes.linesCountOnce() && standsInVoteLog(window, chatLine))
    return;

  const std::string_view speaker = parts[0];
  const std::string_view target = piece(words, 1);
  // With one vote per player the speaker's record decides instead of the exact line, but only for a vote
  // that names a target: a number without a row fails once per line, as without the option.
  if (!window.fairVotes.linesCountOnce() && target != "map" && !slotVotedFor(window, target) &&
      standsInVoteLog(window, chatLine))
    return;

  if (conv::isNumeric(target)) {
    if (!fairVoteCounts(window, slotVotedFor(window, target), speaker))
      return;
    appendToVoteLog(window, chatLine);
    const std::int16_t player = conv::toInt16(target);
    std::string& count = voteRow(window.List3, player);
    count = conv::formatNumber(conv::toNumber(count) + 1);
    window.fairVotes.counted(player, speaker, chatLine);
    if (countOverLimit(window, player))
      window.actAtOnce();
  } else if (target == "map") {
    if (!fairVoteCounts(window, FairVotes::kMap, speaker))
      return;
    window.Text4 = conv::formatNumber(conv::toNumber(window.Text4) + 1);
    appendToVoteLog(window, chatLine);
    window.fairVotes.counted(FairVotes::kMap, speaker, chatLine);
    if (countOverLimit(window, FairVotes::kMap))
      window.actAtOnce();
  }
}

}  // namespace

void dropExpiredVotes(frmmain& window) {
  for (const FairVotes::ExpiredVote& vote : window.fairVotes.takeExpiredVotes()) {
    std::string& count = vote.target == FairVotes::kMap ? window.Text4 : voteRow(window.List3, vote.target);
    count = conv::formatNumber(std::max(0.0, conv::toNumber(count) - 1));
  }
}

void collectVotes(frmmain& window) {
  try {
    dropExpiredVotes(window);
  } catch (const std::exception& error) {
    window.errorLog.append(error.what(), "", kVoteCollection);
  }
  if (!window.firstRun && !window.gameAttached) {
    try {
      window.gameAttached = window.objMem.OpenGame(window.gameName);
    } catch (const std::exception&) {
      window.gameAttached = false;  // the game link promises false, not an error; treat it as one
    }
    if (!window.gameAttached) {
      window.showNotice("Unable to connect to: " + window.gameName + "\r\n" +
                            "Please make sure it is running then click 'OK'",
                        TickNesting::Frame::ConnectionNotice);
      return;
    }
  }

  std::string chatLine;
  try {
    readAndCount(window, chatLine);
  } catch (const std::exception& error) {
    window.errorLog.append(error.what(), chatLine, kVoteCollection);
  }
}
