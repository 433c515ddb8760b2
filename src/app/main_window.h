// The main window's core: all run-time state of the service (settings fields, attach state, counters,
// the vote table and the vote log) and its start-up handlers. The window on screen shows this data; the
// timers, notices and other windows are reached through the host ports.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/error_log.h"
#include "app/globals.h"
#include "app/host.h"
#include "app/remote_console.h"
#include "app/tick_nesting.h"
#include "memlink/memory_control.h"
#include "votes/fair_votes.h"

inline constexpr const char* kProgramTitle = "Zarn - Vote";
inline constexpr int kPlayerSlots = 16;
// The length of the game's chat line, which every console text ends up in, with its NUL.
inline constexpr std::int16_t kDefaultConsoleSize = 90;
// The online help page on the maker's web site.
inline constexpr const char* kOnlineHelpAddress = "http://zarn-vote.example/general/index.php?page=vote";
inline constexpr const char* kPauseService = "Pause Service";
inline constexpr const char* kStartService = "Start Service";

// Fixed texts of the window, for the window layer ('&' marks a menu item's access key).
namespace mainwindow_text {
inline constexpr const char* kLabel1 = "Player ID/Name:";
inline constexpr const char* kLabel2 = "Votes:";
inline constexpr const char* kLabel3 = "Log:";
inline constexpr const char* kText3 = "##";
inline constexpr const char* kText2 = "Map";
inline constexpr const char* kCommand1 = "Clear Votes";
inline constexpr const char* kCommand2 = "Next Map";
inline constexpr const char* kCommand3 = "Punt/Ban Player";
inline constexpr const char* kMenuFile = "&Options";
inline constexpr const char* kMenuChooseGame = "&Choose Game";
inline constexpr const char* kMenuPuntBanPlayer = "&Punt/Ban a Player";
inline constexpr const char* kMenuNextMap = "&Next Map";
inline constexpr const char* kMenuExit = "&Exit";
inline constexpr const char* kMenuHelp = "&Help";
inline constexpr const char* kMenuOnlineHelp = "O&nline Help";
inline constexpr const char* kMenuAbout = "&About";
}  // namespace mainwindow_text

// What the main window is given by whoever builds it.
struct MainWindowPorts {
  HostPort& host;
  TimerPort& timer1;  // collection tick
  TimerPort& timer2;  // processing tick
  MemoryControl& memory;
  Globals& globals;
  std::filesystem::path programFolder;  // holds settings.ini and errorlog.log
  const Clock& clock;
  // The server of the remote console, when the front-end runs one.
  RemoteListenerPort* remoteListener = nullptr;
};

class frmmain {
 public:
  explicit frmmain(const MainWindowPorts& ports);

  // Fills the vote table with the sixteen player rows.
  void Form_Load();

  // The activation sequence: reload every setting, set both timer intervals, then open the game version
  // chooser (first run) or attach to the game. Runs whenever the window becomes active again. A settings
  // file that exists but cannot be read stops it before anything changes, and the host is told why.
  void Form_Activate();

  // Menu Exit: ends the program at once.
  void exit_Click();

  // The collection tick (Timer1) and the processing tick (Timer2). A processing tick that fires while
  // another one runs is skipped; a collection tick is skipped only directly inside its own yield or while
  // its connection notice is open, so votes keep being read while a processing tick pauses.
  void Timer1_Timer();
  void Timer2_Timer();

  // Act At Once: a count went over its limit or the operator raised a request, so a processing tick runs as
  // soon as the running handler is over rather than at the next regular tick; never inside another
  // processing tick (then right after it), at most once a second, and without counting towards the
  // periodic summary, reset and progress message. Does nothing with the option off or the service paused.
  void actAtOnce();

  // --- The operator's buttons and menus. None of them touches the game: what must reach the game is left
  // as a request for the next processing tick. ---
  void Command1_Click();  // Clear Votes
  void Command2_Click();  // Next Map
  // What Next Map does besides its notice: the request for the next processing tick and no map votes.
  void requestNextMap();
  std::string nextMapNotice() const;
  void Command3_Click();  // Punt/Ban Player
  void Command4_Click();  // Pause Service / Start Service
  void choosegame_Click();
  void puntbanplayer_Click() { Command3_Click(); }
  void nextmap_Click() { Command2_Click(); }
  void onlinehelp_Click();
  void about_Click();

  // Path of the settings file in the program folder.
  std::filesystem::path settingsPath() const;

  // A modal notice to the operator, marked as such while it is open (ticks keep firing behind it).
  void showNotice(const std::string& text, TickNesting::Frame frame = TickNesting::Frame::Notice);

  // Whether the game link now talks to another game process than the one the votes were counted in. If
  // so, the vote table, the map count, the vote log and the voters start afresh, with one line in the error
  // log; the operator's pending requests stay. The first game attached to is only remembered.
  bool startAfreshForNewGame();

  // A console text longer than the console line, cut to fit: told once per distinct text.
  void reportCutConsoleText(const std::string& text, std::size_t keptBytes);

  // --- Form-level fields, in their declaration order. ---
  bool servicePaused = false;
  std::string lastChatLine;
  bool gameAttached = false;
  std::string gameName;
  std::string chatAddress;
  std::string consoleAddress;
  std::int16_t collectInterval = 0;
  std::int16_t processInterval = 0;
  std::string puntMessage1;
  std::string puntMessage2;
  std::string displayPlayerNumber;
  std::string puntAnnouncement;
  std::int16_t maxPlayerVotes = 0;
  std::string maxMapVotes;
  std::string mapVotedOutMessage;
  std::int16_t summaryCounter = 0;
  std::int16_t displaySummary = 0;
  std::string serverRunningMessage;
  std::string programSummaryMessage;
  std::string programInfoMessage;
  std::string extraLineMessage;
  std::string votesResetMessage;
  std::int16_t resetVotes = 0;
  std::int16_t resetCounter = 0;
  std::string adminNextMapMessage;
  bool firstRun = false;
  std::string playerStartAddress;
  RemoteSettings remoteSettings;
  // The bytes the game's console line holds, its terminating NUL included; no console text is longer.
  std::int16_t consoleSize = kDefaultConsoleSize;

  // --- The vote table and the vote log, as the window shows them. ---
  std::vector<std::string> List1;  // player names, row k = slot k
  std::vector<std::string> List2;  // player numbers "00" to "15"
  std::vector<std::string> List3;  // vote counts as decimal text
  std::string Text4 = "0";         // map vote count as decimal text
  std::string Text1;               // vote log: each accepted chat line followed by CR LF
  std::string Command4Caption = kPauseService;

  // Why settings.ini could not be read at the last activation; empty when it was read or is missing. The
  // window tells the operator once until the file reads again.
  std::string unreadableSettings;

  // --- Ports. ---
  HostPort& host;
  TimerPort& Timer1;
  TimerPort& Timer2;
  MemoryControl& objMem;
  Globals& globals;
  ErrorLog errorLog;
  // The opt-in rules of [Fair Votes] and what they remember between ticks; votes.log beside the error log.
  FairVotes fairVotes;
  // The ticks and notices running right now, for the window layer to mark its own notices too.
  TickNesting ticks;
  // The console over the network; none when the front-end runs no server for it.
  std::unique_ptr<RemoteConsole> remoteConsole;

 private:
  // One error-log line for a setting that cannot be used as it stands, once for each distinct value;
  // whether it was written now.
  bool reportBadSetting(const std::string& key, const std::string& value, const std::string& fallback);

  std::filesystem::path programFolder_;
  void earlyProcessingTick();

  std::uint64_t knownGame_ = 0;
  const Clock& clock_;
  bool earlyTickScheduled_ = false;
  bool earlyTickAfterProcessing_ = false;
  std::int64_t lastEarlyTickMs_ = 0;
  bool earlyTickRan_ = false;
  std::map<std::string, std::string> badSettings_;  // key -> the bad value last reported
  std::set<std::string> cutTextsReported_;
};
