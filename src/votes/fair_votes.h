// The optional fair-vote rules of the [Fair Votes] settings section: one vote per speaker and target,
// votes that follow the player in a slot rather than the slot, immune players, limits as a share of the
// players present, progress messages and the audit log votes.log. The main window owns one; the ticks ask
// it at named points. With every setting off it changes nothing the players or the operator see.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <locale>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/error_log.h"
#include "votes/voted_out.h"

// The settings, as read at every activation. Each is off when absent.
struct FairVoteSettings {
  bool oneVotePerPlayer = false;
  bool votesFollowPlayer = false;
  std::vector<std::string> immunePlayers;  // exact names, blanks around them already dropped
  std::int16_t playerVoteShare = 0;        // percent of the occupied slots, 1 to 100; 0 is off
  std::int16_t mapVoteShare = 0;
  std::int16_t minPlayers = 0;  // 0 or less is off
  std::string progressMessage;  // empty is off
  std::int16_t progressEvery = 1;
  bool auditLog = false;
  std::int16_t joinDelay = 0;     // seconds, 1 to 3600; 0 is off
  std::int16_t voteLifetime = 0;  // seconds, 10 to 3600; 0 is off
  bool actAtOnce = false;
  std::int16_t rejoinPuntMinutes = 0;  // 1 to 1440; 0 is off
  std::string rejoinMessage;

  // The names of an `Immune Players` value: separated by commas, blanks around each dropped, empty ones
  // skipped.
  static std::vector<std::string> namesFromList(std::string_view list);
};

// How many votes a target needs: more than a fixed limit, or more than a share of the occupied slots.
struct VoteLimit {
  double fixed = 0;
  std::int16_t share = 0;  // percent; 0 means the fixed limit applies
  int occupied = 0;

  bool exceededBy(double count) const;
  // The limit as a number for the audit log (a share may give a fraction: 50 % of 5 is 2.5).
  double value() const;
  // The smallest whole count that exceeds the limit, never below 0.
  double needed() const;
};

class FairVotes {
 public:
  // A vote target: a player number 0 to 15, or the map.
  static constexpr int kMap = -1;

  FairVotes(std::filesystem::path auditFile, const Clock& clock,
            std::locale locale = ErrorLog::environmentLocale());

  FairVoteSettings settings;

  // --- Counting (collection tick). ---

  // Whether a vote of `speaker` against `target` may count: not against an immune name in the slot, and
  // with one vote per player not twice by the same speaker until the target's votes are cleared.
  bool mayCount(int target, std::string_view speaker, std::string_view nameInSlot) const;
  // Whether the exact-line rule of the vote log decides, as it does unless one vote per player is on.
  bool linesCountOnce() const { return !settings.oneVotePerPlayer; }
  // A vote was counted from `line`: remembers the speaker, when (with a lifetime), and that this target rose
  // last.
  void counted(int target, std::string_view speaker, std::string_view line);

  // Vote Lifetime: the votes counted at least that long ago, oldest first, taken off the record. Their
  // speakers may vote again: with one vote per player they are no longer voters of the target (unless
  // another vote of theirs still stands), and without it their line no longer stands in the vote log.
  struct ExpiredVote {
    int target;
    std::string speaker;
  };
  std::vector<ExpiredVote> takeExpiredVotes();
  // How many times `line` stands in the vote log for votes that expired since the log was last emptied.
  int expiredTimes(std::string_view line) const;

  // --- Clearing: whenever a target's count goes back to "0", its voters go with it. ---
  void forget(int target);
  void forgetAll();

  // --- Processing tick. ---

  // Votes Follow Player: whether the name just read in slot `k` differs from the one read there before,
  // and remembers it either way. Called as each slot is read, so a roster scan that fails half-way still
  // keeps the names it got. Before the first scan every slot counts as empty, as the window shows it:
  // votes counted before anyone's name was known are dropped for every occupied slot.
  bool slotHasNewPlayer(int k, const std::string& name);
  // Votes Follow Player across slots: the votes against a name that left slot `k` (`count` as the window
  // showed it) go with the name, and come back against whatever slot the name is read in next, within Vote
  // Lifetime or, with no lifetime, 10 minutes. With a lifetime only the votes that still stand come back.
  void carryAway(int k, const std::string& name, double count);
  // The votes `name` carried away, now against slot `k`; nothing when it carries none, or when the name did
  // not come into the slot since the last call for it (a namesake who sat there all along keeps his own).
  std::optional<double> bringBack(int k, const std::string& name);
  // When the name now in slot `k` was first read there, on the steady clock.
  std::int64_t inSlotSinceMs(int k) const;
  // The name last read in slot `k`, empty when none was.
  std::string_view lastName(int k) const;
  bool isImmune(std::string_view name) const;
  // Join Delay: when each name came into the player table. A name read in a slot that was in no slot at the
  // last whole scan came in now; before the first whole scan every name counts as there since long ago.
  void nameRead(const std::string& name);
  // A whole roster scan ended: the names not in it have left the table.
  void rosterScanned(const std::vector<std::string>& names);
  // Whether `speaker` came into the player table less than Join Delay ago. A name in no slot is no newcomer.
  bool isNewcomer(std::string_view speaker) const;

  // Below Min Players no vote punts and no vote map change happen.
  bool enoughPlayers(int occupied) const { return occupied >= settings.minPlayers; }

  // The target the progress message is due for in this tick, if any: the one whose count rose last,
  // at most once every Progress Every ticks. Call once per tick.
  std::optional<int> progressDue();
  // The message about `target` has gone out: a count that rose again meanwhile is told about next time. A
  // message that did not go out (a failure) is due again at the next tick.
  void progressSent(int target, std::uint64_t risesBefore);
  std::uint64_t rises() const { return rises_; }
  // The progress message with its placeholders filled in, each replaced once, never inside a value.
  std::string progressText(std::string_view name, std::string_view number, double votes, double needed) const;

  // --- Rejoin Punt Minutes. ---
  // Whether a name may be remembered as voted out and punted when it comes back: not an immune name, and
  // not one that a chat message could not be told from (a name holding ": ").
  bool mayRememberVotedOut(std::string_view name) const;
  // The message that tells the chat why a name was punted on its return.
  std::string rejoinText(std::string_view name, int minutesLeft) const;
  VotedOut votedOut;

  // --- Audit log. ---
  const std::vector<std::string>& voters(int target) const;
  // One line in votes.log, when the audit log is on: date - time - `what`, its control bytes escaped as in
  // the error log, since names come from the game. Also handed to the echo.
  void audit(std::string_view what) const;
  // The size votes.log may reach before it is set aside; see appendWholeEntry.
  void setLogSizeLimit(std::uintmax_t bytes) { logSizeLimit_ = bytes; }
  // In service mode each audit line is also printed (without date and time it would be of little use to a
  // journal that interleaves runs, so the whole line goes).
  void echoAuditLines(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }
  const std::filesystem::path& auditFile() const { return auditFile_; }

 private:
  std::filesystem::path auditFile_;
  const Clock& clock_;
  std::locale locale_;
  std::function<void(const std::string&)> echo_;
  std::uintmax_t logSizeLimit_ = kDefaultLogSizeLimit;

  // Whether any rule that is on asks who voted: one vote per player, or the audit log's voter lists.
  bool recordsVoters() const { return settings.oneVotePerPlayer || settings.auditLog; }

  // The speakers of one target, in the order their votes counted; the set answers "already voted?" at a cost
  // that does not grow with the number of speakers.
  struct Voters {
    std::vector<std::string> inOrder;
    std::unordered_set<std::string> names;
  };
  std::map<int, Voters> voters_;
  struct StandingVote {
    int target;
    std::string speaker;
    std::string line;
    std::int64_t atMs;
  };
  std::deque<StandingVote> standing_;  // in the order counted, so the oldest go first
  std::map<std::string, int, std::less<>> expiredLines_;
  struct Carried {
    double count = 0;
    Voters voters;
    std::vector<StandingVote> standing;
    std::int64_t leftAtMs = 0;
  };
  std::map<std::string, Carried, std::less<>> carried_;
  std::map<std::string, std::int64_t, std::less<>> arrivedAtMs_;  // steady time; kLongAgo for the first scan
  bool wholeScanDone_ = false;
  std::vector<std::string> lastNames_;
  std::vector<std::int64_t> inSlotSinceMs_;
  std::vector<bool> cameIn_;  // by slot: the name changed and no votes were brought back to it yet
  std::optional<int> risenLast_;
  std::uint64_t rises_ = 0;           // counts counted(), to tell a rise during the progress message's send
  int ticksSinceProgress_ = 1 << 20;  // the first message may go at once
};

// The error log's label for what concerns the names remembered as voted out.
inline constexpr std::string_view kVotedOutLabel = "Voted Out";

// Audit texts shared by the ticks and the window.
namespace audit_text {
// `player 3 "Bob"`, or `player 20` for a number that is not a slot.
std::string player(int number, const std::vector<std::string>& names);
// `count 6, limit 5`, then ` - voters "Ann", "Cy"` when any are known.
std::string countAndVoters(double count, const VoteLimit& limit, const std::vector<std::string>& voters);
}  // namespace audit_text
