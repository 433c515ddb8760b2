// A week of service in virtual time: both timers at their default intervals on one virtual clock, sixteen
// slots that players join and leave (also during the pauses of a processing tick's console sequences, so
// that a player the roster scan found may be gone by the time of his punt), random chat, an operator who
// clicks at random moments (also inside the ticks' yields and pauses), settings.ini edited between
// activations (with unusable values now and then) and a game link that fails one call in a hundred. An
// independent model (week_model.h) follows everything that happens and says what the service must have done;
// the week fails on the first difference and prints its figures at the end.
//
// ZARNVOTE_WEEK_SEED picks another world (the default is fixed, so every run is the same week);
// ZARNVOTE_WEEK_HOURS shortens the week (default 168).
//
// What "every vote line counted once" means here: a line that stands in the chat for a whole collection
// interval while the service runs is read by at least one collection tick. If every read of it fails, it
// is lost, with one error-log entry per failed read. Otherwise it is new when it differs from the last
// non-empty line read before it, and a new vote line adds exactly one to its row (or the map count) unless
// the same text already stands in the vote log, that is, was counted since the log was last emptied by
// Clear Votes or the automatic reset. So the line still standing in the chat when the log is emptied does
// not count again, and a line typed anew after the log was emptied does. The model keeps its own counts,
// vote log and last line by this rule, and they must equal the window's at every step of the week; the
// punts and map changes the service sends must be the ones the model's counts call for.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <locale>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/error_log.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "dialogs/punt_ban_dialog.h"
#include "support/temp_folder.h"
#include "support/virtual_clock.h"
#include "week/week_model.h"

#if defined(__SANITIZE_ADDRESS__)
#define WEEK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WEEK_UNDER_ASAN 1
#endif
#endif

namespace {

using week::Event;
using Ms = VirtualClock::Ms;

constexpr Ms kCollectInterval = 500;
constexpr Ms kProcessInterval = 10000;
constexpr Ms kHour = 3600 * 1000;

unsigned long long environmentNumber(const char* name, unsigned long long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0')
    return fallback;
  return std::strtoull(text, nullptr, 10);
}

long residentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Frames of what runs right now, innermost last, as the world sees them: the two ticks, the notices
// (Connection: the collection tick's own), the operator's actions and the activations.
enum class Frame { Collection, Processing, Notice, ConnectionNotice, Operator, Activation };

class Week;

// The error log's clock: the virtual time, from Monday 2 March 2026, 00:00.
class WeekTime final : public Clock {
 public:
  explicit WeekTime(const VirtualClock& clock) : clock_(clock) {}
  std::tm localNow() const override { return at(clock_.now()); }
  std::int64_t steadyMs() const override { return clock_.now(); }
  std::int64_t unixSeconds() const override { return 1772409600 + clock_.now() / 1000; }
  static std::tm at(Ms ms) {
    std::tm start{};
    start.tm_year = 2026 - 1900;
    start.tm_mon = 2;
    start.tm_mday = 2;
    std::time_t seconds = timegm(&start) + static_cast<std::time_t>(ms / 1000);
    std::tm result{};
    gmtime_r(&seconds, &result);
    return result;
  }

 private:
  const VirtualClock& clock_;
};

// A lean game link for the week: it keeps no journal, only hands every call to the model as it comes,
// answers reads from the world and fails one call in a hundred.
class WeekLink final : public MemoryControl {
 public:
  explicit WeekLink(Week& world) : world_(world) {}
  bool OpenGame(std::string& gameName) override;
  std::string ReadString(const std::string& address, const ReadLength& length) override;
  void WriteString(const std::string& address, const std::string& text, bool flag) override;
  void SendKey(std::int16_t key) override;
  void Wait(const PauseSeconds& seconds) override;

  long long calls = 0;
  long long faults = 0;        // calls that raised an error
  long long refusedOpens = 0;  // OpenGame calls that answered false
  // The answer and the number of OpenGame calls of the activation that runs now.
  bool lastOpen = false;
  int opens = 0;

 private:
  bool failsNow();
  // A call on the game inside the processing tick, handed over.
  void call(Event event);
  // Hands `event` to the model. One call in a hundred fails: the event says so, and the error is raised
  // once the model has it.
  void handOver(Event event);
  Week& world_;
};

class WeekHost final : public HostPort {
 public:
  explicit WeekHost(Week& world) : world_(world) {}
  void yield() override;
  void showNotice(const std::string& text) override;
  void settingsUnreadable(const std::string& path, const std::string& reason) override {
    ADD_FAILURE() << "cannot read " << path << ": " << reason;
  }
  void showChooser() override { ++choosers; }
  void showPuntBanDialog() override { ++dialogs; }
  void showAbout() override { ++abouts; }
  void openWebPage(const std::string& address) override {
    if (address.find("/general/index.php?page=vote") == std::string::npos)
      ADD_FAILURE() << "online help opened at " << address;
    ++helpPages;
  }
  [[noreturn]] void quit() override { std::abort(); }
  void runLater(int, std::function<void()>) override {
    ADD_FAILURE() << "the week acts on its regular ticks only";
  }

  long long yields = 0, choosers = 0, dialogs = 0, abouts = 0, helpPages = 0;
  // The last notice an operator's own click opened (only Next Map's comes here).
  std::string operatorNotice;
  // Clicks that arrived while the program was busy: they run at its next yield or back in its event loop.
  std::vector<std::function<void()>> waiting;
  void runWaiting() {
    std::vector<std::function<void()>> now;
    now.swap(waiting);
    for (auto& event : now)
      event();
  }

 private:
  Week& world_;
};

class DialogWindow final : public DialogWindowPort {
 public:
  explicit DialogWindow(Week& world) : world_(world) {}
  void showNotice(const std::string& text) override;
  void close() override { ++closes; }
  int closes = 0;
  std::string lastNotice;

 private:
  Week& world_;
};

// A chat line while it stands in the game's chat.
struct StandingLine {
  std::string text;
  Ms since = 0;
  Ms runningSince = -1;  // start of the stretch of this line during which the service runs; -1: paused
  Ms longestRun = 0;
  int reads = 0;
  bool attachFailed = false;
  bool isVote = false;
};

class Week {
 public:
  Week(unsigned long long seed, Ms length)
      : seed_(seed),
        length_(length),
        random_(seed),
        faultRandom_(seed ^ 0x9E3779B97F4A7C15ULL),
        settings_(std::make_shared<week::Settings>()),
        model_(settings_) {}

  void run();

  // Used by the doubles.
  std::vector<Frame> frames;
  VirtualClock clock;
  week::Model& model() { return model_; }
  std::mt19937_64& faultRandom() { return faultRandom_; }
  StandingLine& line() { return line_; }
  std::string slotName(const std::string& address) const;
  // Players come and go in the seconds a console sequence takes too: now and then one leaves, or another
  // takes his slot, at a moment within the next `ms`.
  void mayChangeRosterWithin(Ms ms);
  void push(Event event) {
    event.time = clock.now();
    model_.push(std::move(event));
  }
  // The innermost tick running, if any.
  Frame innermostTick() const {
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
      if (*it == Frame::Collection || *it == Frame::Processing)
        return *it;
    }
    return Frame::Operator;
  }
  void holdNoticeOpen() {
    if (chance(0.25))
      clock.pass(uniform(100, 4000));
  }
  void fail(const std::string& what) {
    if (failures_.size() < 40)
      failures_.push_back("at " + std::to_string(clock.now()) + " ms: " + what);
  }

 private:
  friend class WeekLink;
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
  Ms uniform(Ms low, Ms high) { return std::uniform_int_distribution<Ms>(low, high)(random_); }
  template <typename T>
  const T& pick(const std::vector<T>& from) {
    return from[static_cast<std::size_t>(uniform(0, static_cast<Ms>(from.size()) - 1))];
  }
  Ms exponential(double meanMs) {
    return 1 + static_cast<Ms>(std::exponential_distribution<double>(1.0 / meanMs)(random_));
  }

  void onTimer1();
  void onTimer2();
  // A tick the service must run, as `frame` between its `start` and `end` in the model's queue.
  void runTick(Frame frame, Event::Kind start, Event::Kind end, void (frmmain::*tick)());
  void activate(const std::function<void()>& how);
  void writeSettings();
  void editSettings();
  std::string randomMessage(const std::string& tag);

  void scheduleChat(Ms at);
  void setChat(std::string text);
  void endLine();
  std::string randomChatLine();
  std::string randomVote(const std::string& sender);
  void schedulePlayers(Ms at);
  void scheduleOperator(Ms at);
  void operatorAction();
  void pauseOrStart();
  void puntBanDialog();

  void compareWithModel();
  void checkErrorLog(bool atEnd);

  unsigned long long seed_;
  Ms length_;
  std::mt19937_64 random_;
  std::mt19937_64 faultRandom_;
  std::shared_ptr<week::Settings> settings_;  // what settings.ini holds now
  week::Model model_;
  TempFolder folder_;
  ManualTimer timer1_;
  ManualTimer timer2_;
  WeekHost host_{*this};
  WeekLink link_{*this};
  Globals globals_;
  WeekTime time_{clock};
  frmmain window_{MainWindowPorts{host_, timer1_, timer2_, link_, globals_, folder_.path(), time_}};

  std::string slots_[week::kSlots];
  int joins_ = 0;
  long long rosterChangesInPauses_ = 0;
  StandingLine line_;
  std::vector<std::string> recentVotes_;
  bool paused_ = false;

  long long timer1Fired_ = 0, timer2Fired_ = 0, collectionSkipped_ = 0, processingSkipped_ = 0;
  long long linesShown_ = 0, voteLinesStood_ = 0, voteLinesLost_ = 0;
  long long operatorActions_ = 0, actionsInYields_ = 0, actionsInTicks_ = 0, settingsEdits_ = 0,
            activations_ = 0, dialogNumbersRefused_ = 0, pauses_ = 0;
  long long entriesChecked_ = 0;
  std::streamoff logOffset_ = 0;
  ino_t logInode_ = 0;  // the error log file that logOffset_ is in
  std::vector<std::string> failures_;
};

// ---- The game link ----

bool WeekLink::failsNow() {
  return std::uniform_int_distribution<int>(0, 99)(world_.faultRandom()) == 0;
}

void WeekLink::call(Event event) {
  event.kind = Event::Kind::Call;
  if (world_.innermostTick() != Frame::Processing)
    world_.fail("a console or roster call outside the processing tick");
  handOver(std::move(event));
}

void WeekLink::handOver(Event event) {
  const bool failed = failsNow();
  if (failed) {
    ++faults;
    event.failed = true;
    event.fault = "game link fault " + std::to_string(faults);
  }
  const std::string fault = event.fault;
  world_.push(std::move(event));
  if (failed)
    throw MemoryControlError(fault);
}

bool WeekLink::OpenGame(std::string& gameName) {
  ++calls;
  if (gameName != week::kGameName)
    world_.fail("OpenGame for " + gameName);
  // A game link answers false, never an error, when it cannot attach.
  const bool ok = !failsNow();
  if (!ok)
    ++refusedOpens;
  if (!world_.frames.empty() && world_.frames.back() == Frame::Collection) {
    Event event{Event::Kind::CollAttach};
    event.ok = ok;
    world_.push(std::move(event));
    if (!ok)
      world_.line().attachFailed = true;
  } else if (world_.frames.empty() || world_.frames.back() != Frame::Activation) {
    world_.fail("OpenGame outside an activation and a collection tick");
  } else {
    lastOpen = ok;
    ++opens;
  }
  return ok;
}

std::string WeekLink::ReadString(const std::string& address, const ReadLength& length) {
  ++calls;
  const auto* chars = std::get_if<std::int16_t>(&length);
  // The console line, read before a console sequence's first key: the model checks its place and length.
  if (chars != nullptr && address == week::kConsoleAddress) {
    Event event{Event::Kind::Call};
    event.call = Event::CallKind::ReadConsole;
    event.text = address;
    event.length = *chars;
    call(std::move(event));
    return {};  // a console line with nothing typed in it
  }
  if (chars != nullptr) {
    if (*chars != 90 || address != week::kChatAddress || world_.frames.empty() ||
        world_.frames.back() != Frame::Collection) {
      world_.fail("chat read at " + address + " of " + std::to_string(*chars) + " outside its tick's place");
    }
    ++world_.line().reads;
    Event event{Event::Kind::CollRead};
    event.text = world_.line().text;
    const std::string text = event.text;
    handOver(std::move(event));
    return text;
  }
  if (std::get<std::string>(length) != "16")
    world_.fail("roster read of length " + std::get<std::string>(length));
  Event event{Event::Kind::Call};
  event.call = Event::CallKind::ReadSlot;
  event.text = address;
  event.result = world_.slotName(address);
  const std::string name = event.result;
  call(std::move(event));
  return name;
}

void WeekLink::WriteString(const std::string& address, const std::string& text, bool flag) {
  ++calls;
  Event event{Event::Kind::Call};
  event.call = Event::CallKind::Write;
  event.address = address;
  event.text = text;
  event.ok = flag;
  call(std::move(event));
}

void WeekLink::SendKey(std::int16_t key) {
  ++calls;
  Event event{Event::Kind::Call};
  event.call = Event::CallKind::Key;
  event.key = key;
  call(std::move(event));
}

void WeekLink::Wait(const PauseSeconds& seconds) {
  ++calls;
  Event event{Event::Kind::Call};
  event.call = Event::CallKind::Wait;
  event.pauseIsDouble = std::holds_alternative<double>(seconds);
  event.seconds = pauseToSeconds(seconds);
  call(std::move(event));
  const auto ms = static_cast<Ms>(event.seconds * 1000 + 0.5);
  world_.mayChangeRosterWithin(ms);
  // The window keeps handling its events while the game is given time.
  world_.clock.pass(ms);
}

// ---- The window system ----

void WeekHost::yield() {
  ++yields;
  if (!world_.frames.empty() && world_.frames.back() == Frame::Processing) {
    Event event{Event::Kind::Call};
    event.call = Event::CallKind::Yield;
    world_.push(std::move(event));
  }
  runWaiting();
  world_.clock.runDue();
}

void WeekHost::showNotice(const std::string& text) {
  if (!world_.frames.empty() && world_.frames.back() == Frame::Operator)
    operatorNotice = text;
  const bool connection = !world_.frames.empty() && world_.frames.back() == Frame::Collection;
  if (connection) {
    Event event{Event::Kind::CollNotice};
    event.text = text;
    world_.push(std::move(event));
  }
  world_.frames.push_back(connection ? Frame::ConnectionNotice : Frame::Notice);
  world_.holdNoticeOpen();
  world_.frames.pop_back();
}

void DialogWindow::showNotice(const std::string& text) {
  lastNotice = text;
  world_.frames.push_back(Frame::Notice);
  world_.holdNoticeOpen();
  world_.frames.pop_back();
}

}  // namespace

namespace {

// ---- The world ----

std::string Week::slotName(const std::string& address) const {
  if (address.size() < 3 || address.compare(0, 2, "&H") != 0)
    return {};
  const long value = std::strtol(address.c_str() + 2, nullptr, 16);
  const long slot = (value - 0x1000) / 16 - 1;
  if (slot < 0 || slot >= week::kSlots || (value - 0x1000) % 16 != 0)
    return {};
  return slots_[slot];
}

void Week::writeSettings() {
  const week::Settings& s = *settings_;
  std::ostringstream file;
  file << "[Game]\r\nName=" << week::kGameName << "\r\n"
       << "[Memory]\r\nChat=" << week::kChatAddress << "\r\nConsole=" << week::kConsoleAddress
       << "\r\nPlayer Start=" << s.playerStart << "\r\n"
       << "[Messages]\r\nPunt Message 1=" << s.puntMessage1
       << "\r\nDisplay Player Number=" << s.displayPlayerNumber << "\r\nPunt Message 2=" << s.puntMessage2
       << "\r\nMap Voted Out=" << s.mapVotedOut << "\r\nNext Map - Admin=" << s.nextMapAdmin
       << "\r\nServer Running=" << s.serverRunning << "\r\nProgram Summary=" << s.programSummary
       << "\r\nProgram Info=" << s.programInfo << "\r\nExtra Line=" << s.extraLine
       << "\r\nVotes Reset=" << s.votesReset << "\r\n"
       << "[Votes]\r\nMax Player Votes=" << s.maxPlayerVotes << "\r\nMax Map Votes=" << s.maxMapVotes
       << "\r\n"
       << "[General]\r\nDisplay Summary=" << s.displaySummary << "\r\nInterval=500\r\nInterval 2=10000\r\n"
       << "Reset Votes=" << s.resetVotes << "\r\nFirst Run=False\r\n";
  folder_.write("settings.ini", file.str());
}

std::string Week::randomMessage(const std::string& tag) {
  static const std::vector<std::string> phrases = {
      "Voting is on!", "type /vote and a number", "~ map changing...",
      "_voted out!",   "See you (soon)",          "100% fair",
      "Player:_",      "It's a vote: be nice",    "visit zarn-vote.example/general/index.php?page=vote"};
  if (chance(0.04))
    return {};  // an empty message still goes out as one
  return tag + std::to_string(uniform(0, 999)) + " " + pick(phrases);
}

void Week::editSettings() {
  week::Settings s = *settings_;
  switch (uniform(0, 9)) {
    case 0:
      s.puntMessage1 = randomMessage("P1-");
      break;
    case 1:
      s.puntMessage2 = randomMessage("P2-");
      break;
    case 2:
      s.displayPlayerNumber = pick(std::vector<std::string>{"True", "False", "true", "1", "TRUE"});
      break;
    case 3:
      s.maxPlayerVotes = chance(0.5) ? 5 : (chance(0.05) ? -1 : static_cast<int>(uniform(0, 9)));
      break;
    case 4:
      s.maxMapVotes = chance(0.08) ? "abc" : pick(std::vector<std::string>{"5", "5", "2", "9", "2.5", "0"});
      break;
    case 5: {
      // One of the other messages, each with the tag its texts carry.
      static const std::pair<std::string week::Settings::*, const char*> kMessages[] = {
          {&week::Settings::mapVotedOut, "MV-"},   {&week::Settings::nextMapAdmin, "NM-"},
          {&week::Settings::serverRunning, "SR-"}, {&week::Settings::programSummary, "PS-"},
          {&week::Settings::programInfo, "PI-"},   {&week::Settings::votesReset, "VR-"}};
      const auto& [message, tag] = kMessages[static_cast<std::size_t>(uniform(0, 5))];
      s.*message = randomMessage(tag);
      break;
    }
    case 6:
      s.extraLine = chance(0.5) ? std::string() : randomMessage("EL-");
      break;
    case 7:
      s.displaySummary = static_cast<int>(pick(std::vector<Ms>{90, 90, 90, 0, 3, 20, 32767, -1}));
      break;
    case 8:
      s.resetVotes = static_cast<int>(pick(std::vector<Ms>{90, 90, 90, 2, 10, 32767}));
      break;
    default:
      s.playerStart = chance(0.9) ? "&H1000" : "";
  }
  settings_ = std::make_shared<week::Settings>(s);
  writeSettings();
  ++settingsEdits_;
}

// Runs an activation of the main window (`how` starts it) and tells the model what it read.
void Week::activate(const std::function<void()>& how) {
  frames.push_back(Frame::Activation);
  link_.opens = 0;
  how();
  frames.pop_back();
  if (link_.opens != 1)
    fail("an activation called OpenGame " + std::to_string(link_.opens) + " times");
  Event event{Event::Kind::Activation};
  event.settings = std::make_shared<const week::Settings>(*settings_);
  event.ok = link_.lastOpen;
  push(std::move(event));
  ++activations_;
}

// Which ticks the service must skip: a processing tick while another runs anywhere, a collection tick
// directly inside its own yield or while its connection notice is open.
void Week::onTimer1() {
  ++timer1Fired_;
  Frame innermost = Frame::Operator;
  bool connectionNotice = false;
  for (const Frame frame : frames) {
    if (frame == Frame::ConnectionNotice)
      connectionNotice = true;
    if (frame == Frame::Collection || frame == Frame::Processing || frame == Frame::Notice ||
        frame == Frame::ConnectionNotice)
      innermost = frame;
  }
  if (connectionNotice || innermost == Frame::Collection) {
    const long long calls = link_.calls;
    window_.Timer1_Timer();
    if (link_.calls != calls)
      fail("a collection tick ran where it must be skipped");
    ++collectionSkipped_;
    return;
  }
  runTick(Frame::Collection, Event::Kind::CollStart, Event::Kind::CollEnd, &frmmain::Timer1_Timer);
}

void Week::onTimer2() {
  ++timer2Fired_;
  if (std::find(frames.begin(), frames.end(), Frame::Processing) != frames.end()) {
    const long long calls = link_.calls;
    const long long yields = host_.yields;
    window_.Timer2_Timer();
    if (link_.calls != calls || host_.yields != yields)
      fail("a processing tick started inside another one");
    ++processingSkipped_;
    return;
  }
  runTick(Frame::Processing, Event::Kind::ProcStart, Event::Kind::ProcEnd, &frmmain::Timer2_Timer);
}

void Week::runTick(Frame frame, Event::Kind start, Event::Kind end, void (frmmain::*tick)()) {
  push(Event{start});
  frames.push_back(frame);
  (window_.*tick)();
  frames.pop_back();
  push(Event{end});
}

// ---- Chat ----

void Week::endLine() {
  if (line_.runningSince >= 0)
    line_.longestRun = std::max(line_.longestRun, clock.now() - line_.runningSince);
  if (!line_.isVote || line_.longestRun <= kCollectInterval)
    return;
  ++voteLinesStood_;
  if (line_.reads == 0 && !line_.attachFailed)
    fail("the vote line \"" + line_.text + "\" stood " + std::to_string(line_.longestRun) +
         " ms while the service ran and was never read");
}

void Week::setChat(std::string text) {
  endLine();
  line_ = StandingLine{};
  line_.isVote = text.find(": /vote ") != std::string::npos;
  line_.text = std::move(text);
  line_.since = clock.now();
  line_.runningSince = paused_ ? -1 : clock.now();
  ++linesShown_;
}

std::string Week::randomVote(const std::string& sender) {
  std::vector<int> present;
  for (int k = 0; k < week::kSlots; ++k) {
    if (!slots_[k].empty())
      present.push_back(k);
  }
  const int target = present.empty() ? 3 : pick(present);
  std::string word = std::to_string(target);
  const Ms spelling = uniform(0, 19);
  if (spelling < 3 && target < 10)
    word = "0" + word;  // "/vote 03"
  else if (spelling == 3)
    word = "+" + word;
  else if (spelling == 4)
    word += ".0";
  else if (spelling == 5)
    word = std::to_string(target) + ".4";
  std::string line = sender + ": /vote " + word;
  if (uniform(0, 9) == 0)
    line += " now";
  return line;
}

std::string Week::randomChatLine() {
  std::vector<std::string> present;
  for (const auto& name : slots_) {
    if (!name.empty())
      present.push_back(name);
  }
  const std::string sender =
      !present.empty() && chance(0.8) ? pick(present) : "Guest" + std::to_string(uniform(1, 40));
  const Ms kind = uniform(0, 99);
  std::string line;
  if (kind < 40) {
    line = randomVote(sender);
  } else if (kind < 47) {
    std::vector<std::string> absent = {"16", "-1", "40000", "99"};
    for (int k = 0; k < week::kSlots; ++k) {
      if (slots_[k].empty())
        absent.push_back(std::to_string(k));
    }
    line = sender + ": /vote " + pick(absent);
  } else if (kind < 55) {
    line = sender + ": /vote map";
  } else if (kind < 62 && !recentVotes_.empty()) {
    return pick(recentVotes_);  // a vote typed again
  } else if (kind < 72) {
    line = sender + ": " +
           pick(std::vector<std::string>{"hello", "gg", "lol /vote", "who is lagging?", "vote 3", "/vote3"});
  } else if (kind < 82) {
    line = pick(std::vector<std::string>{": /Vote 3", ": /vote Map", ": /vote", ": /vote  3", ": ",
                                         ": : /vote 3", ": /vote abc", ": /vote 2.5", ": /vote 3.5",
                                         ": /vote 03", ":/vote 3", ": /vote 3: now", ": /vote .5",
                                         ": /vote -0"});
    line = sender + line;
  } else if (kind < 88) {
    line = pick(std::vector<std::string>{"Server restarting", sender + " joined the game", "/vote 3",
                                         sender + ":/vote map"});
  } else if (kind < 92) {
    return {};
  } else {
    const Ms length = chance(0.8) ? 90 : uniform(1, 89);
    for (Ms i = 0; i < length; ++i)
      line += static_cast<char>(uniform(1, 255));
  }
  if (line.find(": /vote ") != std::string::npos) {
    if (recentVotes_.size() < 48)
      recentVotes_.push_back(line);
    else
      recentVotes_[static_cast<std::size_t>(uniform(0, 47))] = line;
  }
  return line;
}

void Week::scheduleChat(Ms at) {
  clock.at(at, [this] {
    std::string next = randomChatLine();
    for (int tries = 0; tries < 8 && next == line_.text; ++tries)
      next = randomChatLine();
    if (next != line_.text)
      setChat(std::move(next));
    const Ms kind = uniform(0, 99);
    Ms stands = 0;
    if (kind < 15)
      stands = uniform(50, 499);  // shorter than a collection interval: may go unread
    else if (kind < 88)
      stands = uniform(500, 3000);
    else
      stands = uniform(3000, 30000);
    scheduleChat(clock.now() + stands);
  });
}

// ---- Players ----

void Week::schedulePlayers(Ms at) {
  clock.at(at, [this] {
    const auto slot = static_cast<std::size_t>(uniform(0, week::kSlots - 1));
    if (slots_[slot].empty() || chance(0.3))
      slots_[slot] = "Player" + std::to_string(++joins_);
    else
      slots_[slot].clear();
    schedulePlayers(clock.now() + exponential(60000));
  });
}

void Week::mayChangeRosterWithin(Ms ms) {
  if (!chance(0.04))
    return;
  ++rosterChangesInPauses_;
  clock.at(clock.now() + uniform(0, ms), [this] {
    // Mostly a player the chat just voted against: he is the one likely to leave before his punt.
    std::size_t slot = static_cast<std::size_t>(uniform(0, week::kSlots - 1));
    if (line_.isVote && chance(0.7)) {
      const std::size_t at = line_.text.rfind(": /vote ");
      const long target = std::strtol(line_.text.c_str() + at + 8, nullptr, 10);
      if (target >= 0 && target < week::kSlots)
        slot = static_cast<std::size_t>(target);
    }
    if (!slots_[slot].empty() && chance(0.5))
      slots_[slot].clear();
    else
      slots_[slot] = "Player" + std::to_string(++joins_);
  });
}

// ---- The operator ----

void Week::scheduleOperator(Ms at) {
  clock.at(at, [this] {
    if (chance(0.35)) {
      // A click while the program is busy: handled at its next yield, or back in its event loop.
      host_.waiting.push_back([this] {
        if (!frames.empty())
          ++actionsInYields_;
        operatorAction();
      });
    } else {
      operatorAction();
    }
    scheduleOperator(clock.now() + exponential(45000));
  });
}

void Week::operatorAction() {
  ++operatorActions_;
  if (innermostTick() != Frame::Operator)
    ++actionsInTicks_;
  frames.push_back(Frame::Operator);
  const Ms what = uniform(0, 99);
  if (what < 14) {
    push(Event{Event::Kind::ClearVotes});
    window_.Command1_Click();
  } else if (what < 26) {
    push(Event{Event::Kind::NextMapRaised});
    host_.operatorNotice.clear();
    if (chance(0.5))
      window_.Command2_Click();
    else
      window_.nextmap_Click();
    if (host_.operatorNotice !=
        "Map will be reset on the next checking cycle.\r\n(under 10000m/s)\r\nMap votes reset")
      fail("Next Map's notice read: " + host_.operatorNotice);
    push(Event{Event::Kind::NextMapClosed});
  } else if (what < 50) {
    puntBanDialog();
  } else if (what < 56) {
    pauseOrStart();
  } else if (what < 72) {
    // The operator comes back to the main window from another window of the program.
    const Ms window = uniform(0, 2);
    if (window == 0)
      window_.about_Click();
    else if (window == 1)
      window_.choosegame_Click();
    else
      window_.onlinehelp_Click();
    activate([this] { window_.Form_Activate(); });
  } else {
    editSettings();
  }
  frames.pop_back();
}

void Week::pauseOrStart() {
  if (paused_)
    return;  // the start is on its way
  window_.Command4_Click();
  paused_ = true;
  ++pauses_;
  if (window_.Command4Caption != "Start Service" || timer1_.enabled() || timer2_.enabled())
    fail("Pause Service left the timers running");
  if (line_.runningSince >= 0)
    line_.longestRun = std::max(line_.longestRun, clock.now() - line_.runningSince);
  line_.runningSince = -1;
  clock.at(clock.now() + uniform(1000, 120000), [this] {
    frames.push_back(Frame::Operator);
    activate([this] { window_.Command4_Click(); });
    frames.pop_back();
    paused_ = false;
    line_.runningSince = clock.now();
    if (window_.Command4Caption != "Pause Service" || !timer1_.enabled() || !timer2_.enabled())
      fail("Start Service left the timers stopped");
  });
}

void Week::puntBanDialog() {
  if (chance(0.5))
    window_.Command3_Click();
  else
    window_.puntbanplayer_Click();
  DialogWindow dialogWindow(*this);
  Dialog dialog(globals_, timer2_, dialogWindow, window_.ticks);
  const bool punt = chance(0.55);
  std::string text;
  if (chance(0.7))
    text = std::to_string(uniform(0, 15));
  else
    text = pick(std::vector<std::string>{" 4", "-1", "99", "7 ", ".5", "+2", "", "ab", "x", "--", "1-", "."});
  if (chance(0.08)) {
    dialog.Command1_Click();
  } else {
    double value = 0;
    const bool good = week::parseDecimal(text, value);
    if (good) {
      Event event{punt ? Event::Kind::PuntRaised : Event::Kind::BanRaised};
      event.number = static_cast<std::int16_t>(week::roundHalfEven(value));
      push(std::move(event));
    }
    dialog.Text1 = text;
    if (punt)
      dialog.cmdpunt_Click();
    else
      dialog.cmdban_Click();
    const std::string notice =
        good ? std::string(punt ? "The player will be punted" : "The player will be banned") +
                   " on the next checking cycle.\r\n(Under 10000m/s)"
             : "An error occured, unable to proccess your request!\r\n\r\n";
    if (dialogWindow.lastNotice != notice || dialogWindow.closes != (good ? 1 : 0))
      fail("the punt/ban dialog with \"" + text + "\" said: " + dialogWindow.lastNotice);
    if (!good) {
      ++dialogNumbersRefused_;
      dialog.Command1_Click();
    }
  }
  if (dialogWindow.closes != 1)
    fail("the punt/ban dialog did not close");
  activate([this] { window_.Form_Activate(); });
}

// ---- Checks ----

void Week::compareWithModel() {
  std::ostringstream diff;
  if (window_.List3 != model_.counts()) {
    diff << "vote counts differ:";
    for (int k = 0; k < week::kSlots; ++k)
      diff << " "
           << (k < static_cast<int>(window_.List3.size()) ? window_.List3[static_cast<std::size_t>(k)] : "?")
           << "/" << model_.counts()[static_cast<std::size_t>(k)];
    diff << " (window/model)";
  } else if (window_.Text4 != model_.mapCount()) {
    diff << "map count " << window_.Text4 << ", model " << model_.mapCount();
  } else if (window_.Text1 != model_.voteLog()) {
    diff << "vote logs differ:\n--- window\n" << window_.Text1 << "--- model\n" << model_.voteLog();
  } else if (window_.summaryCounter != model_.summaryCounter() ||
             window_.resetCounter != model_.resetCounter()) {
    diff << "counters " << window_.summaryCounter << "/" << window_.resetCounter << ", model "
         << model_.summaryCounter() << "/" << model_.resetCounter();
  } else if (window_.gameAttached != model_.attached()) {
    diff << "attached " << window_.gameAttached;
  } else if (globals_.puntRequested != model_.punt().raised ||
             (globals_.puntRequested && globals_.puntPlayerNumber != model_.punt().number) ||
             globals_.banRequested != model_.ban().raised ||
             (globals_.banRequested && globals_.banPlayerNumber != model_.ban().number) ||
             globals_.clearVotesRequested != model_.clear().raised ||
             globals_.nextMapRequested != model_.nextMap().raised) {
    diff << "request flags punt " << globals_.puntRequested << " ban " << globals_.banRequested << " clear "
         << globals_.clearVotesRequested << " next map " << globals_.nextMapRequested << ", model "
         << model_.punt().raised << " " << model_.ban().raised << " " << model_.clear().raised << " "
         << model_.nextMap().raised;
  }
  if (!diff.str().empty())
    fail(diff.str());
}

std::string stamp(Ms at) {
  static const std::locale locale = [] {
    try {
      return std::locale("");
    } catch (const std::runtime_error&) {
      return std::locale::classic();
    }
  }();
  const std::tm time = WeekTime::at(at);
  std::ostringstream text;
  text.imbue(locale);
  text << std::put_time(&time, "%x") << " - " << std::put_time(&time, "%X") << " - ";
  return text.str();
}

std::string readFrom(const std::filesystem::path& file, std::streamoff offset) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return {};
  in.seekg(offset);
  std::ostringstream rest;
  rest << in.rdbuf();
  return rest.str();
}

ino_t inodeOf(const std::filesystem::path& file) {
  struct stat info {};
  return ::stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Each entry the model expects, in order, in the entries written since the last check, and nothing else,
// also across the log being set aside.
void Week::checkErrorLog(bool atEnd) {
  const std::filesystem::path current = folder_ / "errorlog.log", setAside = folder_ / "errorlog.old.log";
  const ino_t inode = inodeOf(current);
  // The entries since the last check: the rest of the file set aside, if it was, then the fresh one.
  const bool wasSetAside = logInode_ != 0 && inode != logInode_;
  const std::string before = wasSetAside ? readFrom(setAside, logOffset_) : std::string();
  const std::string text = before + readFrom(current, wasSetAside ? 0 : logOffset_);
  auto& expected = model_.expectedEntries();
  std::size_t pos = 0;
  while (!expected.empty()) {
    const week::ExpectedEntry& entry = expected.front();
    const std::string prefix = stamp(entry.time);
    // Chat lines with control bytes in them are written escaped, as the log's own writer does it.
    const std::string suffix =
        (entry.hasChatLine ? " - " + escapeControlBytes(entry.chatLine) : std::string()) + " - " +
        entry.label + "\r\n";
    const std::size_t end = text.compare(pos, prefix.size(), prefix) == 0
                                ? text.find(suffix, pos + prefix.size())
                                : std::string::npos;
    if (end == std::string::npos) {
      fail("error-log entry " + std::to_string(entriesChecked_ + 1) + " is not \"" + prefix +
           "<description>" + suffix + "\" but: " + text.substr(pos, 200));
      return;
    }
    const std::string description = text.substr(pos + prefix.size(), end - pos - prefix.size());
    const bool fits = entry.description.empty()
                          ? !description.empty() && description.find_first_of("\r\n") == std::string::npos
                          : description == entry.description;
    if (!fits) {
      fail("error-log entry " + std::to_string(entriesChecked_ + 1) + " has the description \"" +
           description + "\", expected \"" + entry.description + "\"");
      return;
    }
    pos = end + suffix.size();
    ++entriesChecked_;
    expected.pop_front();
  }
  if (pos != text.size()) {
    fail("the error log holds entries the week did not cause: " + text.substr(pos, 300));
    return;
  }
  logOffset_ = (wasSetAside ? 0 : logOffset_) + static_cast<std::streamoff>(pos - before.size());
  logInode_ = inode;
  (void)atEnd;
}

void Week::run() {
  for (auto& slot : slots_) {
    if (chance(0.6))
      slot = "Player" + std::to_string(++joins_);
  }
  writeSettings();
  clock.addTimer(timer1_, [this] { onTimer1(); });
  clock.addTimer(timer2_, [this] { onTimer2(); });
  window_.Form_Load();
  activate([this] { window_.Form_Activate(); });
  if (timer1_.interval() != kCollectInterval || timer2_.interval() != kProcessInterval)
    fail("the timers do not run at their default intervals");
  line_.runningSince = 0;
  scheduleChat(uniform(100, 2000));
  schedulePlayers(exponential(60000));
  scheduleOperator(exponential(45000));

  const long long collectionTicks = length_ / kCollectInterval;
  const long long processingTicks = length_ / kProcessInterval;
  long rssEarly = 0;
  Ms nextCheck = kHour;
  while (timer1Fired_ < collectionTicks || timer2Fired_ < processingTicks) {
    clock.pass(kCollectInterval);
    host_.runWaiting();
    if (!frames.empty())
      fail("the event loop runs while something is still on the stack");
    model_.drain();
    compareWithModel();
    if (clock.now() >= nextCheck) {
      nextCheck += kHour;
      checkErrorLog(false);
    }
    if (rssEarly == 0 && clock.now() >= length_ / 8)
      rssEarly = residentKilobytes();
    if (!failures_.empty() || !model_.violations().empty())
      break;
  }
  model_.drain();
  compareWithModel();
  checkErrorLog(true);
  endLine();
  const long rssEnd = residentKilobytes();

  const week::Figures& f = model_.figures();
  std::cout << "Simulated week, seed " << seed_ << " (ZARNVOTE_WEEK_SEED), " << length_ / kHour
            << " hours of " << clock.now() / kHour << " virtual hours with the pauses:\n"
            << "  ticks simulated: " << timer1Fired_ << " collection (" << collectionSkipped_ << " skipped), "
            << timer2Fired_ << " processing (" << processingSkipped_ << " skipped inside a running one)\n"
            << "  faults injected: " << link_.faults << " failed game-link calls and " << link_.refusedOpens
            << " refused attaches in " << link_.calls << " calls\n"
            << "  error-log entries checked: " << entriesChecked_ << " = " << link_.faults << " faults + "
            << f.chatErrorsPredicted << " bad chat lines + " << f.settingsFallbacks
            << " unusable settings replaced by their defaults + "
            << f.puntsSkippedSlotEmpty + f.puntsSkippedSlotTaken << " punts for votes not sent + "
            << f.textsCut << " console texts cut to the console line\n"
            << "  chat lines shown: " << linesShown_
            << "; vote lines that stood a whole interval: " << voteLinesStood_
            << "; vote lines checked: " << f.voteLinesCounted << " counted, " << f.voteLinesInLog
            << " already in the log, " << f.voteLinesRejected << " naming no row\n"
            << "  punts checked: " << f.punts << ", each after its slot was read again (" << f.slotsReadAgain
            << " reads); not sent as the player left: " << f.puntsSkippedSlotEmpty << " slots empty now ("
            << f.puntsSkippedUnread << " of them not read again: no name in the scan or no player start), "
            << f.puntsSkippedSlotTaken << " taken by another (" << rosterChangesInPauses_
            << " roster changes inside console pauses)\n"
            << "  map changes checked: " << f.mapChanges << "; summaries: " << f.summaries
            << "; automatic resets: " << f.resets << "\n"
            << "  requests checked: " << f.operatorPunts << " punts, " << f.operatorBans << " bans, "
            << f.clearNotices << " clear notices, " << f.operatorMapChanges
            << " map changes went out; still raised: "
            << globals_.puntRequested + globals_.banRequested + globals_.clearVotesRequested +
                   globals_.nextMapRequested
            << "\n"
            << "  operator actions: " << operatorActions_ << " (" << actionsInTicks_ << " inside a tick, "
            << actionsInYields_ << " waiting for a yield), " << activations_ << " activations, "
            << settingsEdits_ << " settings edits, " << pauses_ << " pauses, " << dialogNumbersRefused_
            << " refused dialog numbers\n"
            << "  processing ticks parsed: " << f.processingTicksParsed << " (" << f.processingTicksFailed
            << " failed); longest vote log: " << f.longestVoteLog << " bytes; resident memory " << rssEarly
            << " kB after an eighth of the week, " << rssEnd << " kB at its end\n";

  for (const auto& what : failures_)
    ADD_FAILURE() << what;
  for (const auto& what : model_.violations())
    ADD_FAILURE() << what;
  EXPECT_GE(timer1Fired_, collectionTicks);
  EXPECT_GE(timer2Fired_, processingTicks);
  EXPECT_TRUE(model_.expectedEntries().empty());
  // The vote log is emptied at least on every automatic reset; a few thousand lines at most.
  EXPECT_LT(f.longestVoteLog, 256u * 1024u);
#ifndef WEEK_UNDER_ASAN
  // AddressSanitizer holds freed memory back in its quarantine, so memory is only weighed without it.
  if (rssEarly > 0) {
    EXPECT_LT(rssEnd - rssEarly, 16 * 1024) << "resident memory grew over the week";
  }
#endif
}

TEST(SimulatedWeek, HoldsForAWeekUnderLoadAndFaults) {
  const unsigned long long seed = environmentNumber("ZARNVOTE_WEEK_SEED", 20260302);
  const auto hours = static_cast<Ms>(environmentNumber("ZARNVOTE_WEEK_HOURS", 168));
  Week world(seed, hours * kHour);
  world.run();
}

}  // namespace
