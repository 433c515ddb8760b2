#include "votes/vote_processing.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <string>

#include "app/main_window.h"
#include "common/conversions.h"
#include "votes/console_channel.h"
#include "votes/fair_votes.h"
#include "votes/vote_collection.h"
#include "votes/vote_table.h"

namespace {

constexpr std::int32_t kSlotSize = 16;
constexpr const char* kPlayerStartKey = "Memory/Player Start";

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

int occupiedSlots(const frmmain& w) {
  return static_cast<int>(
      std::count_if(w.List1.begin(), w.List1.end(), [](const std::string& name) { return !name.empty(); }));
}

std::string nameInSlot(const frmmain& w, int k) {
  return static_cast<std::size_t>(k) < w.List1.size() ? w.List1[static_cast<std::size_t>(k)] : std::string();
}

// Read at each use: an activation during a yield may change the settings in the middle of the tick.
VoteLimit playerLimit(const frmmain& w) {
  return VoteLimit{static_cast<double>(w.maxPlayerVotes), w.fairVotes.settings.playerVoteShare,
                   occupiedSlots(w)};
}
VoteLimit mapLimit(const frmmain& w) {
  const std::int16_t share = w.fairVotes.settings.mapVoteShare;
  // With a share the fixed limit plays no part, so a Max Map Votes that is no number does no harm.
  const double fixed = share == 0 ? convert("Max Map Votes", w.maxMapVotes, conv::toNumber) : 0;
  return VoteLimit{fixed, share, occupiedSlots(w)};
}

// Immune players and too few players stop a punt for votes; the count stays as it is.
bool votesMayPunt(const frmmain& w, int k, const VoteLimit& limit) {
  return w.fairVotes.enoughPlayers(limit.occupied) && !w.fairVotes.isImmune(nameInSlot(w, k));
}

class ProcessingTick {
 public:
  ProcessingTick(frmmain& window, ProcessingKind kind)
      : w_(window),
        kind_(kind),
        console_(window.objMem, window.host, window.consoleAddress, window.consoleSize,
                 [&window](const std::string& text, std::size_t kept) {
                   window.reportCutConsoleText(text, kept);
                 }) {}

  void run() {
    dropExpiredVotes(w_);
    w_.startAfreshForNewGame();
    scanRoster();
    w_.startAfreshForNewGame();
    game_ = w_.objMem.attachedGame();
    clearEmptySlots();
    puntReturningPlayers();
    puntPlayersOverLimit();
    changeMapOverLimit();
    if (kind_ == ProcessingKind::Regular) {
      sendProgressMessage();
      sendSummary();
      w_.host.yield();
      resetVotes();
    }
    carryOutRequests();
  }

 private:
  // Slot k of the player table lies 16 * (k + 1) above the configured start.
  void scanRoster() {
    w_.List1.clear();
    if (w_.playerStartAddress.empty()) {
      w_.List1.assign(kPlayerSlots, std::string());
      for (int k = 0; k < kPlayerSlots; ++k)
        followPlayer(k);
      return;
    }
    // Who sat in each slot at the last scan, and the votes against the slot then.
    std::vector<std::pair<std::string, double>> before;
    std::int32_t address = playerStart();
    for (int k = 0; k < kPlayerSlots; ++k) {
      address = nextSlotAddress(address);
      before.emplace_back(std::string(w_.fairVotes.lastName(k)), conv::parseNumber(countText(k)).value_or(0));
      w_.List1.push_back(readSlot(address));
      w_.fairVotes.nameRead(w_.List1.back());
      followPlayer(k);
    }
    w_.fairVotes.rosterScanned(w_.List1);
    bringVotesBack();
    rememberLeaversOneVoteShort(before);
  }

  std::string countText(int k) const {
    return static_cast<std::size_t>(k) < w_.List3.size() ? w_.List3[static_cast<std::size_t>(k)]
                                                         : std::string();
  }

  // Rejoin Punt Minutes: a player who left the table while one more vote would have punted him is
  // remembered as if voted out: leaving does not dodge the vote. With a share the limit may be a fraction
  // (30 % of 7 is 2.1, so the third vote punts), so "one short" asks the punt's own question of one vote
  // more rather than comparing the count with the limit.
  void rememberLeaversOneVoteShort(const std::vector<std::pair<std::string, double>>& before) {
    if (w_.fairVotes.settings.rejoinPuntMinutes <= 0)
      return;
    // The limit he faced is that of the table he left: the one read after him may be nearly or wholly
    // empty (everyone gone, the server between maps), and a share of nobody would make any vote enough.
    VoteLimit limit = playerLimit(w_);
    limit.occupied = static_cast<int>(
        std::count_if(before.begin(), before.end(), [](const auto& slot) { return !slot.first.empty(); }));
    for (const auto& [name, count] : before) {
      const bool left = std::find(w_.List1.begin(), w_.List1.end(), name) == w_.List1.end();
      if (left && count > 0 && limit.exceededBy(count + 1) && w_.fairVotes.mayRememberVotedOut(name))
        rememberVotedOut(name, "Left one vote short of a punt - \"" + name + "\" - " +
                                   audit_text::countAndVoters(count, limit, {}));
    }
  }

  void rememberVotedOut(const std::string& name, const std::string& audited) {
    const int minutes = w_.fairVotes.settings.rejoinPuntMinutes;
    if (minutes <= 0 || !w_.fairVotes.mayRememberVotedOut(name))
      return;
    if (!audited.empty())
      w_.fairVotes.audit(audited + " - remembered for " + std::to_string(minutes) + " min");
    const std::string problem = w_.fairVotes.votedOut.remember(name, minutes);
    if (!problem.empty())
      w_.errorLog.append(problem, kVotedOutLabel);
  }

  // A remembered name read in any slot is punted again at once, with a word to the chat and a line in the
  // audit log. The operator's own punts and bans are his to decide and are never remembered.
  void puntReturningPlayers() {
    if (w_.fairVotes.settings.rejoinPuntMinutes <= 0)
      return;
    const auto rows = static_cast<int>(w_.List1.size());
    for (int k = 0; k < rows; ++k) {
      const std::string name = nameInSlot(w_, k);
      if (!w_.fairVotes.mayRememberVotedOut(name))
        continue;
      const std::optional<int> minutes = w_.fairVotes.votedOut.minutesLeft(name);
      // Only a return counts: a namesake who sat in another slot through the vote, or the punted player
      // still listed a moment after his punt, has not come back.
      if (!minutes || w_.fairVotes.inSlotSinceMs(k) < w_.fairVotes.votedOut.rememberedAtMs(name))
        continue;
      if (!console_.SendConsoleCommand("punt " + std::to_string(k),
                                       [this, k, &name] { return holds(k, name); }))
        continue;
      voteRow(w_.List3, k) = "0";
      w_.fairVotes.forget(k);
      w_.fairVotes.audit("Punt on return - " + audit_text::player(k, w_.List1) + " - " +
                         std::to_string(*minutes) + " min left");
      console_.SendChatMessage(w_.fairVotes.rejoinText(name, *minutes), chat::kThenYield);
    }
  }

  // Whether slot k, read again now, still holds `name` in the same game.
  bool holds(int k, const std::string& name) {
    if (!sameGame() || w_.playerStartAddress.empty())
      return false;
    std::int32_t address = playerStart();
    for (int slot = 0; slot <= k; ++slot)
      address = nextSlotAddress(address);
    return readSlot(address) == name;
  }

  std::int32_t playerStart() const {
    return namingSetting(kPlayerStartKey, w_.playerStartAddress,
                         [this] { return conv::toInt32(w_.playerStartAddress); });
  }

  std::string readSlot(std::int32_t address) const {
    return namingSetting(kPlayerStartKey, w_.playerStartAddress, [this, address] {
      return w_.objMem.ReadString("&H" + conv::hex32(address), ReadLength{std::string("16")});
    });
  }

  // Whether the game is still the one whose roster and votes this tick read. A restarted game may be found
  // by any read, this tick's or a collection tick's in one of its pauses; its votes start from none, with
  // a line of their own.
  bool sameGame() {
    w_.startAfreshForNewGame();
    return game_ == 0 || w_.objMem.attachedGame() == game_;
  }

  // The roster was read at the start of the tick, and the console sequences since then take seconds: the
  // player may have left and another taken his slot. Before the punt's console key and again right before
  // its Enter the slot is read again; a slot that holds someone else now, or no one, is not punted, and its
  // votes go.
  bool stillInSlot(int k) {
    if (!sameGame())
      return false;
    const std::string& name = voteRow(w_.List1, k);
    std::string now;
    if (!name.empty() && !w_.playerStartAddress.empty()) {
      std::int32_t address = playerStart();
      for (int slot = 0; slot <= k; ++slot)
        address = nextSlotAddress(address);
      now = readSlot(address);
      if (now == name)
        return true;
    }
    voteRow(w_.List3, k) = "0";
    w_.fairVotes.forget(k);
    const std::string what = "No punt for votes: " + audit_text::player(k, w_.List1) + " left the slot" +
                             (now.empty() ? ", which is empty now" : ", which \"" + now + "\" holds now");
    w_.errorLog.append(what, kVoteProcessing);
    w_.fairVotes.audit(what);
    return false;
  }

  // Votes Follow Player: a slot that another player took since it was last read starts again from no
  // votes as soon as its name is read, before anything looks at them; a leave and a join between two
  // ticks never shows as an empty slot. The names are remembered on every tick, so switching the option
  // on takes effect from the next tick, and a scan that fails half-way keeps what it read.
  void followPlayer(int k) {
    const std::string left(w_.fairVotes.lastName(k));
    if (!w_.fairVotes.slotHasNewPlayer(k, w_.List1[static_cast<std::size_t>(k)]))
      return;
    if (!w_.fairVotes.settings.votesFollowPlayer)
      return;
    // The votes go with the name that left, and come back once it is read in a slot again.
    w_.fairVotes.carryAway(k, left, conv::parseNumber(countText(k)).value_or(0));
    voteRow(w_.List3, k) = "0";
  }

  // After the scan, so that a player who moved to a slot read before his old one finds his votes.
  void bringVotesBack() {
    if (!w_.fairVotes.settings.votesFollowPlayer)
      return;
    const auto rows = static_cast<int>(w_.List1.size());
    for (int k = 0; k < rows; ++k) {
      if (const std::optional<double> count =
              w_.fairVotes.bringBack(k, w_.List1[static_cast<std::size_t>(k)]))
        voteRow(w_.List3, k) = conv::formatNumber(*count);
    }
  }

  // Votes counted for a slot that is empty now are dropped before they are compared with the limit.
  void clearEmptySlots() {
    const auto rows = static_cast<int>(w_.List2.size());
    for (int k = 0; k < rows; ++k) {
      if (voteRow(w_.List1, k).empty()) {
        voteRow(w_.List3, k) = "0";
        w_.fairVotes.forget(k);
      }
    }
  }

  void puntPlayersOverLimit() {
    const auto rows = static_cast<int>(w_.List3.size());
    for (int k = 0; k < rows; ++k) {
      const double count = convert("vote count", voteRow(w_.List3, k), conv::toNumber);
      const VoteLimit limit = playerLimit(w_);
      if (!limit.exceededBy(count) || !votesMayPunt(w_, k, limit))
        continue;
      // Who voted him out is settled now; votes counted during the command's pauses are dropped unseen.
      const std::vector<std::string> voters = w_.fairVotes.voters(k);
      const std::string number = std::to_string(k);
      if (!console_.SendConsoleCommand("punt " + number, [this, k] { return stillInSlot(k); }))
        continue;
      voteRow(w_.List3, k) = "0";
      w_.fairVotes.audit("Punt by votes - " + audit_text::player(k, w_.List1) + " - " +
                         audit_text::countAndVoters(count, limit, voters));
      w_.fairVotes.forget(k);
      rememberVotedOut(voteRow(w_.List1, k), "");
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
    const VoteLimit limit = mapLimit(w_);
    if (!limit.exceededBy(count) || !w_.fairVotes.enoughPlayers(limit.occupied))
      return;
    const std::vector<std::string> voters = w_.fairVotes.voters(FairVotes::kMap);
    console_.SendChatMessage(w_.mapVotedOutMessage, chat::kYieldThenLongPause);
    // A game restarted meanwhile is another game, whose players voted for nothing.
    if (!console_.SendConsoleCommand("resetgames", [this] { return sameGame(); }))
      return;
    w_.Text4 = "0";
    w_.fairVotes.audit("Map change by votes - " + audit_text::countAndVoters(count, limit, voters));
    w_.fairVotes.forget(FairVotes::kMap);
  }

  // At most one progress message a tick, about the target whose count rose last, with the count as it
  // stands when the message is composed. A vote counted while it is being sent is told about next time.
  // Nothing is told about an immune player: votes against him may have counted before the roster scan
  // first showed his name, but they can never punt him.
  void sendProgressMessage() {
    const std::optional<int> target = w_.fairVotes.progressDue();
    if (!target || (*target != FairVotes::kMap && w_.fairVotes.isImmune(nameInSlot(w_, *target))))
      return;
    std::string text;
    if (*target == FairVotes::kMap) {
      const double count = convert("map vote count", w_.Text4, conv::toNumber);
      text = w_.fairVotes.progressText("Map", "map", count, mapLimit(w_).needed());
    } else {
      const double count = convert("vote count", voteRow(w_.List3, *target), conv::toNumber);
      text = w_.fairVotes.progressText(nameInSlot(w_, *target), std::to_string(*target), count,
                                       playerLimit(w_).needed());
    }
    const std::uint64_t risesBefore = w_.fairVotes.rises();
    console_.SendChatMessage(text, chat::kThenYield);
    w_.fairVotes.progressSent(*target, risesBefore);
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
    w_.fairVotes.forgetAll();
    w_.fairVotes.audit("Automatic reset");
  }

  // Each flag is lowered only once its request's last command has gone out, and only if the operator did
  // not raise the request again meanwhile: a raise that comes after the request's turn came, during any
  // pause or yield of its own sequence, stays pending for the next tick.
  void carryOutRequests() {
    Globals& g = w_.globals;
    carryOutPlayerRequest(g.puntRequested, g.puntRaises, g.puntPlayerNumber, "punt ", "Operator punt - ");
    carryOutPlayerRequest(g.banRequested, g.banRaises, g.banPlayerNumber, "ban ", "Operator ban - ");
    if (g.clearVotesRequested) {
      const std::uint32_t raises = g.clearVotesRaises;
      console_.SendChatMessage(w_.votesResetMessage, chat::kThenYield);
      lowerUnlessRaisedAgain(g.clearVotesRequested, g.clearVotesRaises, raises);
    }
    if (g.nextMapRequested) {
      const std::uint32_t raises = g.nextMapRaises;
      console_.SendChatMessage(w_.adminNextMapMessage, chat::kYieldAfterConsoleKeyThenLongPause);
      console_.SendConsoleCommand("resetgames");
      w_.fairVotes.audit("Operator map change");
      lowerUnlessRaisedAgain(g.nextMapRequested, g.nextMapRaises, raises);
    }
  }

  // The operator's punt or ban: the command with the number as he entered it.
  void carryOutPlayerRequest(bool& requested, const std::uint32_t& raises, const std::int16_t& number,
                             const char* command, const char* audited) {
    if (!requested)
      return;
    const std::uint32_t raisesAtTurn = raises;
    const std::int16_t player = number;
    console_.SendConsoleCommand(command + std::to_string(player));
    w_.fairVotes.audit(audited + audit_text::player(player, w_.List1));
    lowerUnlessRaisedAgain(requested, raises, raisesAtTurn);
  }

  static void lowerUnlessRaisedAgain(bool& requested, std::uint32_t raisesNow, std::uint32_t raisesAtTurn) {
    if (raisesNow == raisesAtTurn)
      requested = false;
  }

  frmmain& w_;
  ProcessingKind kind_;
  ConsoleChannel console_;
  std::uint64_t game_ = 0;  // the game process the roster was read from
};

}  // namespace

bool countOverLimit(const frmmain& window, int target) {
  try {
    if (target == FairVotes::kMap) {
      const VoteLimit limit = mapLimit(window);
      return limit.exceededBy(conv::toNumber(window.Text4)) && window.fairVotes.enoughPlayers(limit.occupied);
    }
    const VoteLimit limit = playerLimit(window);
    return static_cast<std::size_t>(target) < window.List3.size() &&
           limit.exceededBy(conv::toNumber(window.List3[static_cast<std::size_t>(target)])) &&
           votesMayPunt(window, target, limit);
  } catch (const RuntimeError&) {
    return false;  // a limit that is no number is the regular tick's to report
  }
}

void processVotes(frmmain& window, ProcessingKind kind) {
  try {
    ProcessingTick(window, kind).run();
  } catch (const std::exception& error) {
    window.errorLog.append(error.what(), kVoteProcessing);
  }
}
