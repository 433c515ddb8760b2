#include "votes/vote_processing.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <string>

#include "app/conversions.h"
#include "app/main_window.h"
#include "votes/console_channel.h"
#include "votes/vote_table.h"

namespace {

constexpr std::int32_t kSlotSize = 16;

// A conversion whose failure names the setting or value it came from: the error log is all an operator
// has to go on when every tick ends the same way.
template <typename Convert>
auto convert(const char* what, const std::string& value, Convert conversion) {
  try {
    return conversion(value);
  } catch (const RuntimeError& error) {
    throw RuntimeError(std::string(error.what()) + ": " + what + " \"" + value + "\"");
  }
}

std::int32_t nextSlotAddress(std::int32_t address) {
  if (address > std::numeric_limits<std::int32_t>::max() - kSlotSize)
    throw RuntimeError(std::string(kOverflow) + ": player table slot after &H" + conv::hex32(address));
  return address + kSlotSize;
}

// A tick counter counts up to the largest 16-bit value and stays there: a period of 32767 then simply
// never elapses, instead of overflowing on every tick and ending each tick before the operator's
// requests are reached.
void advance(std::int16_t& counter) {
  if (counter < std::numeric_limits<std::int16_t>::max())
    ++counter;
}

class ProcessingTick {
 public:
  explicit ProcessingTick(frmmain& window)
      : w_(window), console_(window.objMem, window.host, window.consoleAddress) {}

  void run() {
    scanRoster();
    clearEmptySlots();
    puntPlayersOverLimit();
    changeMapOverLimit();
    sendSummary();
    w_.host.yield();
    resetVotes();
    carryOutRequests();
  }

 private:
  // Slot k of the player table lies 16 * (k + 1) above the configured start.
  void scanRoster() {
    w_.List1.clear();
    if (w_.playerStartAddress.empty()) {
      w_.List1.assign(kPlayerSlots, std::string());
      return;
    }
    std::int32_t address = convert("Player Start", w_.playerStartAddress, conv::toInt32);
    for (int k = 0; k < kPlayerSlots; ++k) {
      address = nextSlotAddress(address);
      w_.List1.push_back(w_.objMem.ReadString("&H" + conv::hex32(address), ReadLength{std::string("16")}));
    }
  }

  // Votes counted for a slot that is empty now are dropped before they are compared with the limit.
  void clearEmptySlots() {
    const auto rows = static_cast<int>(w_.List2.size());
    for (int k = 0; k < rows; ++k) {
      if (voteRow(w_.List1, k).empty())
        voteRow(w_.List3, k) = "0";
    }
  }

  void puntPlayersOverLimit() {
    const auto rows = static_cast<int>(w_.List3.size());
    for (int k = 0; k < rows; ++k) {
      if (!(convert("vote count", voteRow(w_.List3, k), conv::toNumber) > w_.maxPlayerVotes))
        continue;
      const std::string number = std::to_string(k);
      console_.SendConsoleCommand("punt " + number);
      voteRow(w_.List3, k) = "0";
      if (w_.displayPlayerNumber == "True") {
        w_.puntAnnouncement = w_.puntMessage1 + voteRow(w_.List1, k) + "(" + number + ")" + w_.puntMessage2;
      } else {
        w_.puntAnnouncement = w_.puntMessage1 + w_.puntMessage2;
      }
      console_.SendChatMessage(w_.puntAnnouncement, chat::kThenYield);
    }
  }

  void changeMapOverLimit() {
    const double count = convert("map vote count", w_.Text4, conv::toNumber);
    const double limit = convert("Max Map Votes", w_.maxMapVotes, conv::toNumber);
    if (!(count > limit))
      return;
    console_.SendChatMessage(w_.mapVotedOutMessage, chat::kYieldThenLongPause);
    console_.SendConsoleCommand("resetgames");
    w_.Text4 = "0";
  }

  void sendSummary() {
    if (!(w_.summaryCounter > w_.displaySummary)) {
      advance(w_.summaryCounter);
      return;
    }
    console_.SendChatMessage(w_.serverRunningMessage, chat::kYieldAfterTalk);
    console_.SendChatMessage(w_.programSummaryMessage, chat::kThenYield);
    console_.SendChatMessage(w_.programInfoMessage, chat::kThenYield);
    if (!w_.extraLineMessage.empty())
      console_.SendChatMessage(w_.extraLineMessage, chat::kThenYield);
    w_.summaryCounter = 0;
  }

  void resetVotes() {
    if (!(w_.resetCounter > w_.resetVotes)) {
      advance(w_.resetCounter);
      w_.host.yield();
      return;
    }
    console_.SendChatMessage(w_.votesResetMessage, chat::kThenYield);
    w_.resetCounter = 0;
    w_.host.yield();
    w_.List3.assign(w_.List3.size(), "0");
    w_.Text4 = "0";
    w_.Text1.clear();
  }

  // Each flag is lowered only once its request's last command has gone out, and only if the operator did
  // not raise the request again meanwhile: a raise that comes after the request's turn came, during any
  // pause or yield of its own sequence, stays pending for the next tick.
  void carryOutRequests() {
    Globals& g = w_.globals;
    if (g.puntRequested) {
      const std::uint32_t raises = g.puntRaises;
      const std::int16_t number = g.puntPlayerNumber;
      console_.SendConsoleCommand("punt " + std::to_string(number));
      lowerUnlessRaisedAgain(g.puntRequested, g.puntRaises, raises);
    }
    if (g.banRequested) {
      const std::uint32_t raises = g.banRaises;
      const std::int16_t number = g.banPlayerNumber;
      console_.SendConsoleCommand("ban " + std::to_string(number));
      lowerUnlessRaisedAgain(g.banRequested, g.banRaises, raises);
    }
    if (g.clearVotesRequested) {
      const std::uint32_t raises = g.clearVotesRaises;
      console_.SendChatMessage(w_.votesResetMessage, chat::kThenYield);
      lowerUnlessRaisedAgain(g.clearVotesRequested, g.clearVotesRaises, raises);
    }
    if (g.nextMapRequested) {
      const std::uint32_t raises = g.nextMapRaises;
      console_.SendChatMessage(w_.adminNextMapMessage, chat::kYieldAfterConsoleKeyThenLongPause);
      console_.SendConsoleCommand("resetgames");
      lowerUnlessRaisedAgain(g.nextMapRequested, g.nextMapRaises, raises);
    }
  }

  static void lowerUnlessRaisedAgain(bool& requested, std::uint32_t raisesNow, std::uint32_t raisesAtTurn) {
    if (raisesNow == raisesAtTurn)
      requested = false;
  }

  frmmain& w_;
  ConsoleChannel console_;
};

}  // namespace

void processVotes(frmmain& window) {
  try {
    ProcessingTick(window).run();
  } catch (const std::exception& error) {
    window.errorLog.append(error.what(), kVoteProcessing);
  }
}
