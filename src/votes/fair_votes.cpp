#include "votes/fair_votes.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

#include "common/conversions.h"
#include "common/text.h"

namespace {

const std::vector<std::string> kNoVoters;
constexpr std::int64_t kLongAgo = std::numeric_limits<std::int64_t>::min() / 2;

}  // namespace

std::vector<std::string> FairVoteSettings::namesFromList(std::string_view list) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string_view::npos)
      comma = list.size();
    const std::string_view name = text::trimBlanks(list.substr(start, comma - start));
    if (!name.empty())
      names.emplace_back(name);
    start = comma + 1;
  }
  return names;
}

bool VoteLimit::exceededBy(double count) const {
  if (share == 0)
    return count > fixed;
  // A share of nobody is no limit to reach: with no names read, no vote acts.
  if (occupied == 0)
    return false;
  // Compared in whole hundredths: no rounding of a percentage can move a limit that falls on a whole vote.
  return count * 100 > static_cast<double>(share) * occupied;
}

double VoteLimit::value() const {
  if (share == 0)
    return fixed;
  return static_cast<double>(share) * occupied / 100;
}

double VoteLimit::needed() const {
  return std::max(0.0, std::floor(value()) + 1);
}

FairVotes::FairVotes(std::filesystem::path auditFile, const Clock& clock, std::locale locale)
    : votedOut(auditFile.parent_path() / "voted-out.state", clock),
      auditFile_(std::move(auditFile)),
      clock_(clock),
      locale_(std::move(locale)) {}

bool FairVotes::mayCount(int target, std::string_view speaker, std::string_view nameInSlot) const {
  if (isNewcomer(speaker))
    return false;
  if (target != kMap && isImmune(nameInSlot))
    return false;
  if (!settings.oneVotePerPlayer)
    return true;
  const auto found = voters_.find(target);
  return found == voters_.end() || !found->second.names.contains(std::string(speaker));
}

void FairVotes::counted(int target, std::string_view speaker, std::string_view line) {
  if (settings.voteLifetime > 0)
    standing_.push_back(StandingVote{target, std::string(speaker), std::string(line), clock_.steadyMs()});
  // Without a rule that asks, nobody is remembered: a busy server between two resets hears thousands.
  if (recordsVoters()) {
    Voters& voters = voters_[target];
    if (voters.names.emplace(speaker).second)
      voters.inOrder.emplace_back(speaker);
  }
  risenLast_ = target;
  ++rises_;
}

std::vector<FairVotes::ExpiredVote> FairVotes::takeExpiredVotes() {
  std::vector<ExpiredVote> expired;
  const std::int64_t now = clock_.steadyMs();
  while (!standing_.empty() && settings.voteLifetime > 0 &&
         now - standing_.front().atMs >= settings.voteLifetime * 1000LL) {
    StandingVote vote = std::move(standing_.front());
    standing_.pop_front();
    ++expiredLines_[vote.line];
    const bool standsStill =
        std::any_of(standing_.begin(), standing_.end(), [&vote](const StandingVote& other) {
          return other.target == vote.target && other.speaker == vote.speaker;
        });
    const auto voters = voters_.find(vote.target);
    if (!standsStill && voters != voters_.end() && voters->second.names.erase(vote.speaker) > 0) {
      std::vector<std::string>& inOrder = voters->second.inOrder;
      inOrder.erase(std::find(inOrder.begin(), inOrder.end(), vote.speaker));
    }
    expired.push_back(ExpiredVote{vote.target, std::move(vote.speaker)});
  }
  return expired;
}

int FairVotes::expiredTimes(std::string_view line) const {
  const auto found = expiredLines_.find(line);
  return found == expiredLines_.end() ? 0 : found->second;
}

void FairVotes::forget(int target) {
  voters_.erase(target);
  std::erase_if(standing_, [target](const StandingVote& vote) { return vote.target == target; });
  if (risenLast_ == target)
    risenLast_.reset();
}

void FairVotes::forgetAll() {
  voters_.clear();
  standing_.clear();
  expiredLines_.clear();
  // Votes a leaver took along are votes too: brought back after a reset they would undo it.
  carried_.clear();
  risenLast_.reset();
}

bool FairVotes::slotHasNewPlayer(int k, const std::string& name) {
  const auto slot = static_cast<std::size_t>(k);
  if (lastNames_.size() <= slot) {
    lastNames_.resize(slot + 1);
    inSlotSinceMs_.resize(slot + 1);
    cameIn_.resize(slot + 1);
  }
  if (lastNames_[slot] == name)
    return false;
  lastNames_[slot] = name;
  inSlotSinceMs_[slot] = clock_.steadyMs();
  cameIn_[slot] = true;
  return true;
}

void FairVotes::nameRead(const std::string& name) {
  if (!name.empty())
    arrivedAtMs_.try_emplace(name, wholeScanDone_ ? clock_.steadyMs() : kLongAgo);
}

void FairVotes::rosterScanned(const std::vector<std::string>& names) {
  for (auto it = arrivedAtMs_.begin(); it != arrivedAtMs_.end();)
    it = std::find(names.begin(), names.end(), it->first) == names.end() ? arrivedAtMs_.erase(it)
                                                                         : std::next(it);
  wholeScanDone_ = true;
}

bool FairVotes::isNewcomer(std::string_view speaker) const {
  if (settings.joinDelay <= 0)
    return false;
  const auto arrived = arrivedAtMs_.find(speaker);
  return arrived != arrivedAtMs_.end() && clock_.steadyMs() - arrived->second < settings.joinDelay * 1000LL;
}

void FairVotes::carryAway(int k, const std::string& name, double count) {
  if (name.empty() || count <= 0) {
    forget(k);
    return;
  }
  const std::int64_t now = clock_.steadyMs();
  // Names that never came back within the longest time votes are kept are forgotten.
  std::erase_if(carried_, [now](const auto& entry) { return now - entry.second.leftAtMs >= 3600 * 1000LL; });
  Carried carried{count, {}, {}, now};
  if (const auto voters = voters_.find(k); voters != voters_.end())
    carried.voters = std::move(voters->second);
  for (const StandingVote& vote : standing_) {
    if (vote.target == k)
      carried.standing.push_back(vote);
  }
  forget(k);
  carried_[name] = std::move(carried);
}

std::optional<double> FairVotes::bringBack(int k, const std::string& name) {
  // Kept until asked for, so that a scan that failed before votes could come back leaves them for the next.
  const auto slot = static_cast<std::size_t>(k);
  if (slot >= cameIn_.size() || !cameIn_[slot])
    return std::nullopt;
  cameIn_[slot] = false;
  const auto found = carried_.find(name);
  if (found == carried_.end())
    return std::nullopt;
  Carried carried = std::move(found->second);
  carried_.erase(found);
  const std::int64_t now = clock_.steadyMs();
  const std::int64_t keptMs = settings.voteLifetime > 0 ? settings.voteLifetime * 1000LL : 10 * 60000LL;
  if (now - carried.leftAtMs >= keptMs)
    return std::nullopt;
  forget(k);
  double count = carried.count;
  if (settings.voteLifetime > 0) {
    count = 0;
    std::unordered_set<std::string> stillVoting;
    for (StandingVote& vote : carried.standing) {
      if (now - vote.atMs >= keptMs) {
        ++expiredLines_[vote.line];
        continue;
      }
      vote.target = k;
      stillVoting.insert(vote.speaker);
      standing_.push_back(std::move(vote));
      ++count;
    }
    // Those whose every vote ran out while away may vote again.
    std::erase_if(carried.voters.inOrder,
                  [&stillVoting](const std::string& speaker) { return !stillVoting.contains(speaker); });
    std::erase_if(carried.voters.names,
                  [&stillVoting](const std::string& speaker) { return !stillVoting.contains(speaker); });
    // Kept in the order counted, so that the oldest still expire first.
    std::stable_sort(standing_.begin(), standing_.end(),
                     [](const StandingVote& a, const StandingVote& b) { return a.atMs < b.atMs; });
  }
  if (!carried.voters.inOrder.empty())
    voters_[k] = std::move(carried.voters);
  return count;
}

std::int64_t FairVotes::inSlotSinceMs(int k) const {
  const auto slot = static_cast<std::size_t>(k);
  return slot < inSlotSinceMs_.size() ? inSlotSinceMs_[slot] : clock_.steadyMs();
}

std::string_view FairVotes::lastName(int k) const {
  const auto slot = static_cast<std::size_t>(k);
  return slot < lastNames_.size() ? std::string_view(lastNames_[slot]) : std::string_view();
}

bool FairVotes::isImmune(std::string_view name) const {
  // An empty slot is never immune: the list holds no empty names.
  return std::find(settings.immunePlayers.begin(), settings.immunePlayers.end(), name) !=
         settings.immunePlayers.end();
}

std::optional<int> FairVotes::progressDue() {
  if (ticksSinceProgress_ < (1 << 20))
    ++ticksSinceProgress_;
  if (settings.progressMessage.empty() || !risenLast_ || ticksSinceProgress_ < settings.progressEvery)
    return std::nullopt;
  return risenLast_;
}

void FairVotes::progressSent(int target, std::uint64_t risesBefore) {
  if (risenLast_ == target && rises_ == risesBefore)
    risenLast_.reset();
  ticksSinceProgress_ = 0;
}

namespace {

// `pattern` with each placeholder replaced by its value, scanning once: a value is never searched again, so
// a name that looks like a placeholder stays as it is.
std::string fillPlaceholders(std::string_view pattern,
                             std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string text;
  std::size_t i = 0;
  while (i < pattern.size()) {
    bool replaced = false;
    for (const auto& [placeholder, value] : values) {
      if (pattern.compare(i, placeholder.size(), placeholder) == 0) {
        text.append(value);
        i += placeholder.size();
        replaced = true;
        break;
      }
    }
    if (!replaced)
      text += pattern[i++];
  }
  return text;
}

}  // namespace

std::string FairVotes::progressText(std::string_view name, std::string_view number, double votes,
                                    double needed) const {
  const std::string votesText = conv::formatNumber(votes);
  const std::string neededText = conv::formatNumber(needed);
  return fillPlaceholders(
      settings.progressMessage,
      {{"%name%", name}, {"%number%", number}, {"%votes%", votesText}, {"%needed%", neededText}});
}

bool FairVotes::mayRememberVotedOut(std::string_view name) const {
  return !name.empty() && !isImmune(name) && name.find(": ") == std::string_view::npos;
}

std::string FairVotes::rejoinText(std::string_view name, int minutesLeft) const {
  const std::string minutes = std::to_string(minutesLeft);
  return fillPlaceholders(settings.rejoinMessage, {{"%name%", name}, {"%minutes%", minutes}});
}

const std::vector<std::string>& FairVotes::voters(int target) const {
  const auto found = voters_.find(target);
  return found == voters_.end() ? kNoVoters : found->second.inOrder;
}

void FairVotes::audit(std::string_view what) const {
  if (!settings.auditLog)
    return;
  const std::string line =
      escapeControlBytes(logTimestamp(clock_.localNow(), locale_).append(" - ").append(what));
  if (echo_)
    echo_(line);
  appendWholeEntry(auditFile_, line + "\r\n", logSizeLimit_);
}

namespace audit_text {

std::string player(int number, const std::vector<std::string>& names) {
  std::string text = "player " + std::to_string(number);
  if (number >= 0 && static_cast<std::size_t>(number) < names.size())
    text += " \"" + names[static_cast<std::size_t>(number)] + "\"";
  return text;
}

std::string countAndVoters(double count, const VoteLimit& limit, const std::vector<std::string>& voters) {
  std::string text = "count " + conv::formatNumber(count) + ", limit " + conv::formatNumber(limit.value());
  if (voters.empty())
    return text;
  text += " - voters ";
  for (std::size_t i = 0; i < voters.size(); ++i)
    text += (i == 0 ? "\"" : ", \"") + voters[i] + "\"";
  return text;
}

}  // namespace audit_text
