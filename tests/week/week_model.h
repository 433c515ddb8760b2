// The simulated week's own account of what the service must do, built from the service's rules and kept
// apart from its code. The world feeds it, in the order things happened, every collection tick's attach
// and chat read, every call the processing tick makes on the game link and every yield it makes, and
// every operator action and activation. The model follows the processing tick through the call stream
// step by step (roster, punts with the slot read again before each, map change, summary, reset, operator
// requests; every console sequence opening with a read of the console line) and says at each point what
// must come next; it keeps its own vote counts, vote log, tick counters, pending requests and the settings
// in force after their fallbacks, and the error-log entries the week must produce, each with the time it
// must bear.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace week {

inline constexpr const char* kChatAddress = "&H10FE6C0";
inline constexpr const char* kConsoleAddress = "&H11038DC";
inline constexpr const char* kGameName = "Delta Force Land Warrior,  V1.00.42";
inline constexpr int kSlots = 16;
// The console line's length with its NUL: the week leaves Memory/Console Size at its default.
inline constexpr int kConsoleSize = 90;

// The settings.ini values the week edits; the rest stay at what the world wrote first. The week writes
// unusable values too (a limit below 0, a map limit that is no number); the model replaces them by their
// defaults at each activation, as the service does.
struct Settings {
  std::string puntMessage1 = "Player:_";
  std::string puntMessage2 = "_voted out!";
  std::string displayPlayerNumber = "True";
  int maxPlayerVotes = 5;
  std::string maxMapVotes = "5";
  std::string mapVotedOut = "Map has been voted ~ map changing...";
  std::string nextMapAdmin = "The admin has voted for a map change!";
  int displaySummary = 90;
  std::string serverRunning = "This server is running the voting system!";
  std::string programSummary = "It allows you to vote players out of the game.";
  std::string programInfo = "For more information visit the help page";
  std::string extraLine;
  std::string votesReset = "All Votes Reset";
  int resetVotes = 90;
  std::string playerStart = "&H1000";
};

// One thing that happened, as the world saw it.
struct Event {
  enum class Kind {
    CollStart,   // a collection tick began (one the service must run, not skip)
    CollAttach,  // the collection tick called OpenGame; `ok` is its answer
    CollRead,    // the collection tick read the chat line: `text`, or `fault` when the read failed
    CollNotice,  // the collection tick showed a notice: `text`
    CollEnd,     // the collection tick returned
    ProcStart,   // a processing tick began
    Call,        // the processing tick called the game link or yielded
    ProcEnd,     // the processing tick returned
    ClearVotes,  // the operator pressed Clear Votes
    NextMapRaised,
    NextMapClosed,  // the operator closed Next Map's notice: the map count goes to 0
    PuntRaised,     // the dialog took `number` for a punt
    BanRaised,
    Activation,  // the main window ran its activation with `settings`; OpenGame answered `ok`
  };
  enum class CallKind { ReadSlot, ReadConsole, Key, Write, Wait, Yield };

  explicit Event(Kind what) : kind(what) {}

  Kind kind;
  CallKind call = CallKind::Yield;
  std::string text;     // chat line, slot or console address read, written text, notice text
  std::string result;   // what a roster read returned
  std::string address;  // WriteString's address
  std::string fault;    // the game link's error text when this call failed
  bool failed = false;
  bool ok = false;             // OpenGame's answer; WriteString's flag
  int key = 0;                 // SendKey
  int length = 0;              // the console line's read: the length asked for
  bool pauseIsDouble = false;  // Wait: the form the pause was given in
  double seconds = 0;          // Wait
  long long time = 0;          // virtual ms, for the ends of ticks (the error log's date and time)
  std::int16_t number = 0;     // punt / ban number
  std::shared_ptr<const Settings> settings;
};

// An error-log entry the week must have written, in order.
struct ExpectedEntry {
  long long time;
  std::string description;  // empty: any description (one the service words itself)
  bool hasChatLine;
  std::string chatLine;
  std::string label;
};

struct Figures {
  long long voteLinesCounted = 0;       // vote lines that added one to a count
  long long voteLinesInLog = 0;         // vote lines already in the log, rightly not counted again
  long long voteLinesRejected = 0;      // vote lines logged but naming no row (one error entry each)
  long long chatErrorsPredicted = 0;    // chat lines that must end their tick in the error log
  long long settingsFallbacks = 0;      // unusable settings replaced by their defaults, one entry each
  long long textsCut = 0;               // console texts longer than the console line, one entry each
  long long punts = 0;                  // punts for votes, checked against the model's counts
  long long slotsReadAgain = 0;         // roster slots read again right before a punt for votes
  long long puntsSkippedSlotEmpty = 0;  // no punt: the player left and the slot is empty now
  long long puntsSkippedUnread = 0;     // of those, slots not read again (no name, or no player start)
  long long puntsSkippedSlotTaken = 0;  // no punt: the player left and another holds the slot now
  long long mapChanges = 0;
  long long summaries = 0;
  long long resets = 0;
  long long operatorPunts = 0, operatorBans = 0, clearNotices = 0, operatorMapChanges = 0;
  long long processingTicksParsed = 0;
  long long processingTicksFailed = 0;
  long long collectionTicksChecked = 0;
  std::size_t longestVoteLog = 0;  // bytes
};

class Model {
 public:
  explicit Model(std::shared_ptr<const Settings> initial);

  void push(Event event) { queue_.push_back(std::move(event)); }
  // Works through every event so far. Only called while no processing tick runs, so that each tick in
  // the queue is whole.
  void drain();

  // What the window and the shared flags must show now, compared by the world.
  std::vector<std::string> counts() const;
  std::string mapCount() const { return std::to_string(map_); }
  const std::string& voteLog() const { return log_; }
  std::int16_t summaryCounter() const { return summaryCounter_; }
  std::int16_t resetCounter() const { return resetCounter_; }
  bool attached() const { return attached_; }
  struct Pending {
    bool raised = false;
    std::int16_t number = 0;
    long long raises = 0;
  };
  const Pending& punt() const { return punt_; }
  const Pending& ban() const { return ban_; }
  const Pending& clear() const { return clear_; }
  const Pending& nextMap() const { return nextMap_; }

  std::deque<ExpectedEntry>& expectedEntries() { return expected_; }
  const Figures& figures() const { return figures_; }
  // Everything the model found wrong, first ones first.
  const std::vector<std::string>& violations() const { return violations_; }
  void violation(const std::string& what);

 private:
  struct CollTick {
    bool attachedAtStart = false;
    bool attachTried = false;
    bool attachOk = false;
    bool noticeShown = false;
    int reads = 0;
    bool readFailed = false;
    std::string fault;
    std::string line;
    bool isNew = false;
  };
  struct Mismatch {
    std::string what;
  };
  struct TickFailed {
    std::string fault;
  };
  struct ChatPacing {
    bool yieldAfterConsoleKey = false;
    bool yieldAfterTalk = false;
    enum { Short, YieldThenLong, Long } lastPause = Short;
    bool yieldAfter = false;
  };

  void applyOther(const Event& event);
  void collectionAttached(const Event& event);
  void chatRead(const Event& event);
  void collectionEnded(const Event& event);
  // The collection tick that runs now; none, and the violation `outside`, when no collection tick runs.
  CollTick* runningCollTick(const std::string& outside) {
    if (collTicks_.empty()) {
      violation(outside);
      return nullptr;
    }
    return &collTicks_.back();
  }
  void countVoteLine(const std::string& line, long long time);
  void raise(Pending& pending) {
    pending.raised = true;
    ++pending.raises;
  }

  // The processing tick, pulled from the queue; the other events are applied on the way.
  void processingTick();
  void processingSteps();
  const Event& nextCall();
  const Event& take(Event::CallKind kind, const std::string& what);
  void consume(const Event& e, const std::string& setting);
  void readSlot(int k, const std::string& what);
  bool stillInSlot(int k);
  bool puntCommand(int k);
  void consoleProbe();
  void key(int code);
  void shortPause();
  void longPause();
  void yield();
  void write(const std::function<std::string()>& text, const std::string& what);
  void command(const std::string& text);
  void chat(const std::function<std::string()>& text, const std::string& what, ChatPacing pacing);
  void clearAll();
  // An operator request's turn in the processing tick: when raised, `send` sends its commands and it
  // counts as `served`. A request raised again meanwhile stays raised for the next tick.
  void serveRequest(Pending& request, long long& served, const std::function<void()>& send);
  void activate(const Event& e);
  void badSetting(const std::string& key, const std::string& value, const std::string& fallback,
                  long long time);
  void expect(const std::string& description, const std::string& label);

  std::shared_ptr<const Settings> settings_;
  std::deque<Event> queue_;
  std::vector<CollTick> collTicks_;

  int votes_[kSlots] = {};
  int map_ = 0;
  std::string log_;
  std::unordered_set<std::string> logged_;
  std::string lastChatLine_;
  bool attached_ = false;
  std::int16_t summaryCounter_ = 0;
  std::int16_t resetCounter_ = 0;
  Pending punt_, ban_, clear_, nextMap_;
  std::string names_[kSlots];

  std::map<std::string, std::string> badSettings_;  // key -> the unusable value last logged
  std::unordered_set<std::string> textsCut_;        // console texts whose cut was logged

  std::deque<ExpectedEntry> expected_;
  Figures figures_;
  std::vector<std::string> violations_;
  long long tickStart_ = 0;
  // The virtual time the processing tick has reached: the latest event seen, or the end of the last pause.
  long long now_ = 0;
};

// The number a text names by the vote and dialog rules: optional surrounding blanks (dialog only) and
// sign, decimal digits with an optional fraction, rounded half to even. Nothing when it is no number.
bool parseDecimal(const std::string& text, double& value);
long long roundHalfEven(double value);

}  // namespace week
