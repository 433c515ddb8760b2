#include "week/week_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace week {
namespace {

constexpr const char* kVoteCollection = "Vote Collection";
constexpr const char* kVoteProcessing = "Vote Processing";
constexpr const char* kSettings = "Settings";
constexpr int kMaxCounter = 32767;

std::string printable(const std::string& text) {
  std::string out;
  for (const char signedChar : text) {
    const auto c = static_cast<unsigned char>(signedChar);
    if (c >= 32 && c < 127) {
      out += signedChar;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string describe(const Event& e) {
  std::ostringstream text;
  switch (e.kind) {
    case Event::Kind::ProcEnd:
      return "the end of the tick";
    case Event::Kind::Call:
      break;
    default:
      return "a non-processing event";
  }
  switch (e.call) {
    case Event::CallKind::ReadSlot:
      text << "ReadString " << e.text << " \"16\"";
      break;
    case Event::CallKind::ReadConsole:
      text << "ReadString " << e.text << " " << e.length;
      break;
    case Event::CallKind::Key:
      text << "SendKey " << e.key;
      break;
    case Event::CallKind::Write:
      text << "WriteString " << e.address << " [" << printable(e.text) << "] " << (e.ok ? "True" : "False");
      break;
    case Event::CallKind::Wait:
      text << "Wait " << e.seconds << (e.pauseIsDouble ? " (double)" : " (integer)");
      break;
    case Event::CallKind::Yield:
      text << "yield";
      break;
  }
  if (e.failed)
    text << " FAILED";
  return text.str();
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

bool parseDecimal(const std::string& raw, double& value) {
  std::size_t begin = 0;
  std::size_t end = raw.size();
  while (begin < end && isBlank(raw[begin]))
    ++begin;
  while (end > begin && isBlank(raw[end - 1]))
    --end;
  std::string text = raw.substr(begin, end - begin);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.erase(0, 1);
  }
  int digits = 0;
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    ++pos;
    ++digits;
  }
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      ++pos;
      ++digits;
    }
  }
  if (digits == 0 || pos != text.size())
    return false;
  double parsed = 0;
  std::from_chars(text.data(), text.data() + text.size(), parsed);
  value = negative ? -parsed : parsed;
  return true;
}

long long roundHalfEven(double value) {
  const double down = std::floor(value);
  const double rest = value - down;
  double rounded = down;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(down, 2.0) != 0.0))
    rounded = down + 1;
  if (rounded > 1e12)
    return 1000000000000LL;
  if (rounded < -1e12)
    return -1000000000000LL;
  return static_cast<long long>(rounded);
}

Model::Model(std::shared_ptr<const Settings> initial) : settings_(std::move(initial)) {}

void Model::violation(const std::string& what) {
  if (violations_.size() < 40)
    violations_.push_back(what);
  else if (violations_.size() == 40)
    violations_.push_back("... and more");
}

std::vector<std::string> Model::counts() const {
  std::vector<std::string> rows;
  for (const int votes : votes_)
    rows.push_back(std::to_string(votes));
  return rows;
}

void Model::drain() {
  while (!queue_.empty()) {
    Event event = std::move(queue_.front());
    queue_.pop_front();
    if (event.kind == Event::Kind::ProcStart) {
      tickStart_ = event.time;
      processingTick();
    } else if (event.kind == Event::Kind::Call || event.kind == Event::Kind::ProcEnd) {
      violation("at " + std::to_string(event.time) + " ms: " + describe(event) +
                " outside a processing tick");
    } else {
      applyOther(event);
    }
  }
}

// ---- Operator actions, activations and the collection tick ----

void Model::applyOther(const Event& e) {
  switch (e.kind) {
    case Event::Kind::CollStart:
      collTicks_.push_back(CollTick{attached_, false, false, false, 0, false, {}, {}, false});
      break;
    case Event::Kind::CollAttach:
      collectionAttached(e);
      break;
    case Event::Kind::CollRead:
      chatRead(e);
      break;
    case Event::Kind::CollNotice: {
      const std::string expected = std::string("Unable to connect to: ") + kGameName +
                                   "\r\nPlease make sure it is running then click 'OK'";
      if (collTicks_.empty() || !collTicks_.back().attachTried || collTicks_.back().attachOk ||
          e.text != expected) {
        violation("at " + std::to_string(e.time) +
                  " ms: unexpected notice in a collection tick: " + printable(e.text));
      }
      if (!collTicks_.empty())
        collTicks_.back().noticeShown = true;
      break;
    }
    case Event::Kind::CollEnd:
      collectionEnded(e);
      break;
    case Event::Kind::ClearVotes:
      clearAll();
      raise(clear_);
      break;
    case Event::Kind::NextMapRaised:
      raise(nextMap_);
      break;
    case Event::Kind::NextMapClosed:
      map_ = 0;
      break;
    case Event::Kind::PuntRaised:
      punt_.number = e.number;
      raise(punt_);
      break;
    case Event::Kind::BanRaised:
      ban_.number = e.number;
      raise(ban_);
      break;
    case Event::Kind::Activation:
      activate(e);
      break;
    default:
      violation("unexpected event kind");
  }
}

void Model::collectionAttached(const Event& e) {
  CollTick* tick = runningCollTick("OpenGame outside a collection tick");
  if (tick == nullptr)
    return;
  if (tick->attachedAtStart || tick->attachTried)
    violation("at " + std::to_string(e.time) + " ms: a collection tick attached while attached");
  tick->attachTried = true;
  tick->attachOk = e.ok;
  attached_ = e.ok;
}

void Model::chatRead(const Event& e) {
  CollTick* tick = runningCollTick("a chat read outside a collection tick");
  if (tick == nullptr)
    return;
  ++tick->reads;
  if (!tick->attachedAtStart && !tick->attachOk)
    violation("at " + std::to_string(e.time) + " ms: the chat was read without a game attached");
  if (e.failed) {
    tick->readFailed = true;
    tick->fault = e.fault;
    return;
  }
  tick->line = e.text;
  // A line is new when it differs from the last non-empty line read before it, in the order of the
  // reads: a tick that runs inside another one's yield reads later lines, and those stay the last
  // seen.
  tick->isNew = !e.text.empty() && e.text != lastChatLine_;
  if (tick->isNew)
    lastChatLine_ = e.text;
}

void Model::collectionEnded(const Event& e) {
  const CollTick* running = runningCollTick("a collection tick ended that never started");
  if (running == nullptr)
    return;
  const CollTick tick = *running;
  collTicks_.pop_back();
  ++figures_.collectionTicksChecked;
  const std::string at = "at " + std::to_string(e.time) + " ms: ";
  if (!tick.attachedAtStart) {
    if (!tick.attachTried)
      violation(at + "a collection tick did not try to attach while detached");
    if (!tick.attachOk) {
      if (!tick.noticeShown || tick.reads != 0)
        violation(at + "a failed attach must show its notice and read nothing");
      return;
    }
  }
  if (tick.reads != 1) {
    violation(at + "a collection tick read the chat " + std::to_string(tick.reads) + " times");
    return;
  }
  if (tick.readFailed) {
    // The description names the setting whose address could not be read.
    expected_.push_back(ExpectedEntry{e.time, std::string("Memory/Chat ") + kChatAddress + ": " + tick.fault,
                                      true, "", kVoteCollection});
    return;
  }
  if (tick.isNew)
    countVoteLine(tick.line, e.time);
}

// The vote rules, applied where the collection tick applies them: after its yield, at its end.
void Model::countVoteLine(const std::string& line, long long time) {
  auto fails = [&] {
    expected_.push_back(ExpectedEntry{time, "", true, line, kVoteCollection});
    ++figures_.chatErrorsPredicted;
  };
  const std::size_t separator = line.find(": ");
  if (separator == std::string::npos)
    return fails();
  const std::size_t start = separator + 2;
  const std::size_t next = line.find(": ", start);
  const std::string message =
      line.substr(start, next == std::string::npos ? std::string::npos : next - start);
  if (message.empty())
    return fails();
  std::vector<std::string> words;
  std::size_t from = 0;
  while (true) {
    const std::size_t blank = message.find(' ', from);
    words.push_back(message.substr(from, blank == std::string::npos ? std::string::npos : blank - from));
    if (blank == std::string::npos)
      break;
    from = blank + 1;
  }
  if (words[0] != "/vote")
    return;
  if (logged_.count(line) != 0) {
    ++figures_.voteLinesInLog;
    return;
  }
  if (words.size() < 2)
    return fails();
  const std::string& target = words[1];
  auto appendToLog = [&] {
    log_ += line + "\r\n";
    logged_.insert(line);
    figures_.longestVoteLog = std::max(figures_.longestVoteLog, log_.size());
  };
  double value = 0;
  if (parseDecimal(target, value)) {
    appendToLog();
    const long long row = roundHalfEven(value);
    if (row < 0 || row >= kSlots) {
      ++figures_.voteLinesRejected;
      return fails();
    }
    ++votes_[row];
    ++figures_.voteLinesCounted;
  } else if (target == "map") {
    ++map_;
    appendToLog();
    ++figures_.voteLinesCounted;
  }
}

void Model::clearAll() {
  for (int& votes : votes_)
    votes = 0;
  map_ = 0;
  log_.clear();
  logged_.clear();
}

// An activation reads settings.ini anew. A limit or a tick count below 0, and a map limit that is no
// number or below 0, cannot be used: the default stands in for it, and the error log says so once for
// each distinct unusable value of a key. A usable value clears what was logged for its key, so the same
// bad value written again later is told about again.
void Model::activate(const Event& e) {
  Settings s = *e.settings;
  auto atLeastZero = [&](const char* key, int& value, int fallback) {
    if (value >= 0 && value <= kMaxCounter) {
      badSettings_.erase(key);
      return;
    }
    // A value beyond the 16-bit range does not convert at all.
    const bool inRange = value >= -kMaxCounter - 1 && value <= kMaxCounter;
    badSetting(key, std::to_string(value),
               std::string(inRange ? "below 0" : "out of range") + ", so the default " +
                   std::to_string(fallback) + " is used",
               e.time);
    value = fallback;
  };
  atLeastZero("Votes/Max Player Votes", s.maxPlayerVotes, 5);
  double limit = 0;
  const bool number = parseDecimal(s.maxMapVotes, limit);
  if (!number || !(limit >= 0)) {
    badSetting("Votes/Max Map Votes", s.maxMapVotes,
               std::string(number ? "below 0" : "not a number") + ", so the default 5 is used", e.time);
    s.maxMapVotes = "5";
  } else {
    badSettings_.erase("Votes/Max Map Votes");
  }
  atLeastZero("General/Display Summary", s.displaySummary, 90);
  atLeastZero("General/Reset Votes", s.resetVotes, 90);
  settings_ = std::make_shared<const Settings>(std::move(s));
  attached_ = e.ok;
}

void Model::badSetting(const std::string& key, const std::string& value, const std::string& fallback,
                       long long time) {
  const auto logged = badSettings_.find(key);
  if (logged != badSettings_.end() && logged->second == value)
    return;
  badSettings_[key] = value;
  expected_.push_back(ExpectedEntry{time, key + " \"" + value + "\": " + fallback, false, "", kSettings});
  ++figures_.settingsFallbacks;
}

// An entry the processing tick writes without ending: at the moment the tick has reached.
void Model::expect(const std::string& description, const std::string& label) {
  expected_.push_back(ExpectedEntry{now_, description, false, "", label});
}

// ---- The processing tick ----

void Model::processingTick() {
  ++figures_.processingTicksParsed;
  now_ = tickStart_;
  try {
    try {
      processingSteps();
      const Event& last = nextCall();
      if (last.kind != Event::Kind::ProcEnd)
        throw Mismatch{describe(last) + " after the tick's last step"};
      queue_.pop_front();
    } catch (const TickFailed& failed) {
      const Event& last = nextCall();
      if (last.kind != Event::Kind::ProcEnd)
        throw Mismatch{describe(last) + " after the tick failed"};
      expected_.push_back(ExpectedEntry{last.time, failed.fault, false, "", kVoteProcessing});
      ++figures_.processingTicksFailed;
      queue_.pop_front();
    }
  } catch (const Mismatch& mismatch) {
    violation("processing tick started at " + std::to_string(tickStart_) + " ms: " + mismatch.what);
    // Skip to the tick's end; later checks will likely report the divergence too.
    while (!queue_.empty()) {
      Event event = std::move(queue_.front());
      queue_.pop_front();
      if (event.kind == Event::Kind::ProcEnd)
        break;
      if (event.kind != Event::Kind::Call)
        applyOther(event);
    }
  }
}

const Event& Model::nextCall() {
  while (true) {
    if (queue_.empty())
      throw Mismatch{"the tick's events ran out before its end"};
    Event& front = queue_.front();
    if (front.kind == Event::Kind::Call || front.kind == Event::Kind::ProcEnd)
      return front;
    if (front.kind == Event::Kind::ProcStart)
      throw Mismatch{"a processing tick started inside another one"};
    const Event other = std::move(front);
    queue_.pop_front();
    now_ = std::max(now_, other.time);
    applyOther(other);
  }
}

const Event& Model::take(Event::CallKind kind, const std::string& what) {
  const Event& e = nextCall();
  if (e.kind == Event::Kind::ProcEnd)
    throw Mismatch{"the tick ended where " + what + " was due"};
  if (e.call != kind)
    throw Mismatch{"expected " + what + ", got " + describe(e)};
  return e;
}

// A call that matched what was due is consumed; a failed one ends the tick. The failure of a read or
// a write names the setting whose address it used (`setting`: its key and value), the failure of a key
// or a pause does not.
void Model::consume(const Event& e, const std::string& setting) {
  const bool failedCall = e.failed;
  std::string fault = setting.empty() ? e.fault : setting + ": " + e.fault;
  now_ = std::max(now_, e.time);
  // A pause moves the clock on by its length (a notice held open inside it may take longer: the events
  // it ends with say so).
  if (e.call == Event::CallKind::Wait && !failedCall)
    now_ = std::max(now_, e.time + static_cast<long long>(e.seconds * 1000 + 0.5));
  queue_.pop_front();
  if (failedCall)
    throw TickFailed{std::move(fault)};
}

namespace {

std::string consoleSetting() {
  return std::string("Memory/Console ") + kConsoleAddress;
}

}  // namespace

void Model::key(int code) {
  const Event& e = take(Event::CallKind::Key, "SendKey " + std::to_string(code));
  if (e.key != code)
    throw Mismatch{"expected SendKey " + std::to_string(code) + ", got " + describe(e)};
  consume(e, std::string());
}

void Model::shortPause() {
  const Event& e = take(Event::CallKind::Wait, "Wait 0.6");
  if (!e.pauseIsDouble || e.seconds != 0.6)
    throw Mismatch{"expected Wait 0.6 (double), got " + describe(e)};
  consume(e, std::string());
}

void Model::longPause() {
  const Event& e = take(Event::CallKind::Wait, "Wait 4");
  if (e.pauseIsDouble || e.seconds != 4)
    throw Mismatch{"expected Wait 4 (integer), got " + describe(e)};
  consume(e, std::string());
}

void Model::yield() {
  const Event& e = take(Event::CallKind::Yield, "a yield");
  consume(e, std::string());
}

void Model::write(const std::function<std::string()>& text, const std::string& what) {
  const Event& e = take(Event::CallKind::Write, "the write of " + what);
  // Read after every earlier event was applied: the text in force when the tick writes it.
  std::string expected = text();
  // No more than the console line holds, its NUL included, is written; the first cut of each distinct
  // text is told in the error log, before the write.
  constexpr std::size_t room = kConsoleSize - 1;
  if (expected.size() > room) {
    if (textsCut_.size() >= 256)
      textsCut_.clear();
    if (textsCut_.insert(expected).second) {
      now_ = std::max(now_, e.time);
      expect("Console text of " + std::to_string(expected.size()) + " characters cut to the " +
                 std::to_string(room) + " that Memory/Console Size " + std::to_string(kConsoleSize) +
                 " leaves room for: " + expected,
             kVoteProcessing);
      ++figures_.textsCut;
    }
    expected.resize(room);
  }
  if (e.address != kConsoleAddress || !e.ok || e.text != expected) {
    throw Mismatch{"expected WriteString " + std::string(kConsoleAddress) + " [" + printable(expected) +
                   "] True (" + what + "), got " + describe(e)};
  }
  consume(e, consoleSetting());
}

// Every console sequence opens with a read of the console line, so a console address that cannot be read
// ends the tick before any key is pressed.
void Model::consoleProbe() {
  const Event& e = take(Event::CallKind::ReadConsole, "the read of the console line");
  if (e.text != kConsoleAddress || e.length != kConsoleSize) {
    throw Mismatch{"expected ReadString " + std::string(kConsoleAddress) + " " +
                   std::to_string(kConsoleSize) + ", got " + describe(e)};
  }
  consume(e, consoleSetting());
}

void Model::command(const std::string& text) {
  consoleProbe();
  key(192);
  shortPause();
  write([&text] { return text; }, "\"" + text + "\"");
  shortPause();
  key(13);
  shortPause();
}

void Model::chat(const std::function<std::string()>& text, const std::string& what, ChatPacing pacing) {
  consoleProbe();
  key(192);
  shortPause();
  if (pacing.yieldAfterConsoleKey)
    yield();
  write([] { return std::string("talk"); }, "talk before " + what);
  shortPause();
  key(13);
  if (pacing.yieldAfterTalk)
    yield();
  shortPause();
  write(text, what);
  shortPause();
  key(13);
  switch (pacing.lastPause) {
    case ChatPacing::Short:
      shortPause();
      break;
    case ChatPacing::YieldThenLong:
      yield();
      longPause();
      break;
    case ChatPacing::Long:
      longPause();
      break;
  }
  if (pacing.yieldAfter)
    yield();
}

// Checks that the next call reads roster slot k (16 * (k + 1) above the player start) and leaves it at the
// front of the queue.
void Model::readSlot(int k, const std::string& what) {
  const long start = std::stol(settings_->playerStart.substr(2), nullptr, 16);
  char address[24];
  std::snprintf(address, sizeof address, "&H%lX", static_cast<unsigned long>(start + 16L * (k + 1)));
  const Event& e = take(Event::CallKind::ReadSlot, std::string("ReadString ") + address + " (" + what + ")");
  if (e.text != address)
    throw Mismatch{std::string("expected ReadString ") + address + " (" + what + "), got " + describe(e)};
}

// Before a punt for votes the slot is read again: the player the roster scan found there may have
// left during the tick's console sequences. A slot that holds another name now, or none, is not punted;
// its votes go, with one error-log entry. A slot the scan found empty, or a player start emptied by an
// activation in the tick, is not read: that slot counts as empty now.
bool Model::stillInSlot(int k) {
  // What happened in the pause before (an activation that emptied Player Start) is in force now.
  nextCall();
  std::string now;
  if (!names_[k].empty() && !settings_->playerStart.empty()) {
    readSlot(k, "the slot read again before its punt");
    ++figures_.slotsReadAgain;
    now = queue_.front().result;
    consume(queue_.front(), "Memory/Player Start " + settings_->playerStart);
    if (now == names_[k])
      return true;
  } else {
    ++figures_.puntsSkippedUnread;
  }
  votes_[k] = 0;
  if (now.empty())
    ++figures_.puntsSkippedSlotEmpty;
  else
    ++figures_.puntsSkippedSlotTaken;
  expect("No punt for votes: player " + std::to_string(k) + " \"" + names_[k] + "\" left the slot" +
             (now.empty() ? ", which is empty now" : ", which \"" + now + "\" holds now"),
         kVoteProcessing);
  return false;
}

// A punt for votes: the slot is read again after the read of the console line, before the console key,
// and again right before Enter. A command no longer wanted sends no key, or is wiped from the console line
// before its Enter. True when the punt went out.
bool Model::puntCommand(int k) {
  consoleProbe();
  if (!stillInSlot(k))
    return false;
  const std::string text = "punt " + std::to_string(k);
  key(192);
  shortPause();
  write([&text] { return text; }, "\"" + text + "\"");
  shortPause();
  const bool wanted = stillInSlot(k);
  if (!wanted) {
    write([] { return std::string(); }, "the empty line in place of \"" + text + "\"");
    shortPause();
  }
  key(13);
  shortPause();
  return wanted;
}

void Model::processingSteps() {
  ChatPacing thenYield;
  thenYield.yieldAfter = true;

  // Roster: sixteen slots of 16 bytes, the first 16 above the start.
  if (!settings_->playerStart.empty()) {
    for (int k = 0; k < kSlots; ++k) {
      readSlot(k, "the roster scan");
      names_[k] = queue_.front().result;
      consume(queue_.front(), "Memory/Player Start " + settings_->playerStart);
    }
  } else {
    for (std::string& name : names_)
      name.clear();
  }
  for (int k = 0; k < kSlots; ++k) {
    if (names_[k].empty())
      votes_[k] = 0;
  }

  // Player votes: each row looked at in turn, with what was counted up to that moment.
  for (int k = 0; k < kSlots; ++k) {
    nextCall();
    if (!(votes_[k] > settings_->maxPlayerVotes))
      continue;
    if (!puntCommand(k))
      continue;
    const std::string number = std::to_string(k);
    nextCall();
    votes_[k] = 0;
    ++figures_.punts;
    const std::string announcement =
        settings_->displayPlayerNumber == "True"
            ? settings_->puntMessage1 + names_[k] + "(" + number + ")" + settings_->puntMessage2
            : settings_->puntMessage1 + settings_->puntMessage2;
    chat([announcement] { return announcement; }, "the punt announcement for " + number, thenYield);
  }

  // Map votes. The limit in force is always a number: an activation puts the default in place of one
  // that is not.
  nextCall();
  double limit = 0;
  if (!parseDecimal(settings_->maxMapVotes, limit))
    throw Mismatch{"the model holds a map limit that is no number: " + settings_->maxMapVotes};
  if (map_ > limit) {
    ChatPacing notice;
    notice.lastPause = ChatPacing::YieldThenLong;
    chat([this] { return settings_->mapVotedOut; }, "Map Voted Out", notice);
    command("resetgames");
    nextCall();
    map_ = 0;
    ++figures_.mapChanges;
  }

  // Periodic summary.
  nextCall();
  if (summaryCounter_ > settings_->displaySummary) {
    ChatPacing first;
    first.yieldAfterTalk = true;
    chat([this] { return settings_->serverRunning; }, "Server Running", first);
    chat([this] { return settings_->programSummary; }, "Program Summary", thenYield);
    chat([this] { return settings_->programInfo; }, "Program Info", thenYield);
    nextCall();
    if (!settings_->extraLine.empty())
      chat([this] { return settings_->extraLine; }, "Extra Line", thenYield);
    summaryCounter_ = 0;
    ++figures_.summaries;
  } else if (summaryCounter_ < kMaxCounter) {
    ++summaryCounter_;
  }

  yield();

  // Automatic vote reset: the tables are emptied after the second yield, so what was counted inside it
  // goes as well.
  nextCall();
  if (resetCounter_ > settings_->resetVotes) {
    chat([this] { return settings_->votesReset; }, "the automatic Votes Reset", thenYield);
    resetCounter_ = 0;
    yield();
    nextCall();
    clearAll();
    ++figures_.resets;
  } else {
    if (resetCounter_ < kMaxCounter)
      ++resetCounter_;
    yield();
  }

  // Operator requests. A request raised again while its own commands go out stays raised for the next
  // tick; the number punted or banned is the one pending when its turn came.
  serveRequest(punt_, figures_.operatorPunts, [this] { command("punt " + std::to_string(punt_.number)); });
  serveRequest(ban_, figures_.operatorBans, [this] { command("ban " + std::to_string(ban_.number)); });
  serveRequest(clear_, figures_.clearNotices, [this, &thenYield] {
    chat([this] { return settings_->votesReset; }, "the Votes Reset after Clear Votes", thenYield);
  });
  serveRequest(nextMap_, figures_.operatorMapChanges, [this] {
    ChatPacing notice;
    notice.yieldAfterConsoleKey = true;
    notice.lastPause = ChatPacing::Long;
    chat([this] { return settings_->nextMapAdmin; }, "Next Map - Admin", notice);
    command("resetgames");
  });
}

void Model::serveRequest(Pending& request, long long& served, const std::function<void()>& send) {
  nextCall();
  if (!request.raised)
    return;
  const long long raises = request.raises;
  send();
  nextCall();
  if (request.raises == raises)
    request.raised = false;
  ++served;
}

}  // namespace week
