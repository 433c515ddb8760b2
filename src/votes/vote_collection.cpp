#include "votes/vote_collection.h"

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "app/conversions.h"
#include "app/main_window.h"
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

// Whether the line already stands in the vote log. The log is walked with a 16-bit index, so a log of
// 32,767 lines or more overflows unless the line is found first.
bool standsInVoteLog(const std::string& voteLog, std::string_view line) {
  const std::vector<std::string_view> pieces = split(voteLog, "\r\n");
  std::int16_t index = 0;
  for (const std::string_view logged : pieces) {
    if (logged == line)
      return true;
    index = conv::addInt16(index, 1);
  }
  return false;
}

void appendToVoteLog(frmmain& window, const std::string& line) {
  window.Text1 += line + "\r\n";
}

// Steps after the attach check; any failure propagates to the tick's error path.
void readAndCount(frmmain& window, std::string& chatLine) {
  chatLine = window.objMem.ReadString(window.chatAddress, ReadLength{kChatLength});
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

  const std::string_view message = piece(split(chatLine, ": "), 1);
  const std::vector<std::string_view> words = split(message, " ");
  if (piece(words, 0) != "/vote")
    return;
  if (standsInVoteLog(window.Text1, chatLine))
    return;

  const std::string_view target = piece(words, 1);
  if (conv::isNumeric(target)) {
    appendToVoteLog(window, chatLine);
    const std::int16_t player = conv::toInt16(target);
    std::string& count = voteRow(window.List3, player);
    count = conv::formatNumber(conv::toNumber(count) + 1);
  } else if (target == "map") {
    window.Text4 = conv::formatNumber(conv::toNumber(window.Text4) + 1);
    appendToVoteLog(window, chatLine);
  }
}

}  // namespace

void collectVotes(frmmain& window) {
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
