#include "app/main_window.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <utility>

#include "common/conversions.h"
#include "settings/ini.h"
#include "votes/vote_collection.h"
#include "votes/vote_processing.h"

namespace {

// Defaults of the settings, used when a key is absent or its text does not convert.
constexpr const char* kDefaultGameName = "Delta Force Land Warrior,  V1.00.42";
constexpr const char* kDefaultProgramInfo =
    "For more information visit zarn-vote.example/general/index.php?page=vote";

}  // namespace

frmmain::frmmain(const MainWindowPorts& ports)
    : host(ports.host),
      Timer1(ports.timer1),
      Timer2(ports.timer2),
      objMem(ports.memory),
      globals(ports.globals),
      errorLog(ports.programFolder / "errorlog.log", ports.clock),
      fairVotes(ports.programFolder / "votes.log", ports.clock),
      remoteConsole(ports.remoteListener ? std::make_unique<RemoteConsole>(*this, *ports.remoteListener)
                                         : nullptr),
      programFolder_(ports.programFolder),
      clock_(ports.clock) {
  globals.raised = [this] { actAtOnce(); };
}

std::filesystem::path frmmain::settingsPath() const {
  return programFolder_ / "settings.ini";
}

void frmmain::Form_Load() {
  for (int i = 0; i < 10; ++i) {
    List1.emplace_back();
    List2.push_back("0" + std::to_string(i));
    List3.emplace_back("0");
  }
  for (int i = 0; i < 6; ++i) {
    List1.emplace_back();
    List2.push_back("1" + std::to_string(i));
    List3.emplace_back("0");
  }
}

void frmmain::Form_Activate() {
  // A settings file that cannot be read would read as empty, which is a first run: the operator hears why
  // instead, and every setting stays as the last activation that read the file left it.
  unreadableSettings = INI::unreadableReason(settingsPath());
  if (!unreadableSettings.empty()) {
    host.settingsUnreadable(settingsPath().string(), unreadableSettings);
    return;
  }

  const std::filesystem::path path = settingsPath();
  auto text = [&path](const char* section, const char* key, const char* defaultValue) {
    return INI::ReadIniValue(path, section, key, defaultValue);
  };
  // An Integer key whose text does not convert falls back to the key's default, so one typo in the file
  // cannot stop the service.
  auto integer = [&text](const char* section, const char* key, const char* defaultValue) {
    try {
      return conv::toInt16(text(section, key, defaultValue));
    } catch (const RuntimeError&) {
      return conv::toInt16(defaultValue);
    }
  };
  // So does a limit, a tick count or a size below its least sensible value: a limit of -1 would punt every
  // player on every tick, a period of -1 would reset all votes on every tick. The error log names the key
  // and the value.
  auto atLeast = [this, &text](const char* section, const char* key, const char* defaultValue,
                               std::int16_t least) {
    const std::string value = text(section, key, defaultValue);
    const std::optional<double> number = conv::parseNumber(value);
    try {
      const std::int16_t converted = conv::toInt16(value);
      if (converted >= least) {
        badSettings_.erase(std::string(section) + "/" + key);
        return converted;
      }
      reportBadSetting(std::string(section) + "/" + key, value,
                       "below " + std::to_string(least) + ", so the default " + defaultValue + " is used");
    } catch (const RuntimeError&) {
      reportBadSetting(std::string(section) + "/" + key, value,
                       std::string(number ? "out of range" : "not a number") + ", so the default " +
                           defaultValue + " is used");
    }
    return conv::toInt16(defaultValue);
  };
  auto interval = [&atLeast](const char* key, const char* defaultValue) {
    return atLeast("General", key, defaultValue, 0);
  };
  auto boolean = [&text](const char* section, const char* key, const char* defaultValue) {
    try {
      return conv::toBoolean(text(section, key, defaultValue));
    } catch (const RuntimeError&) {
      return conv::toBoolean(defaultValue);
    }
  };

  gameName = text("Game", "Name", kDefaultGameName);
  chatAddress = text("Memory", "Chat", "&H10FE6C0");
  consoleAddress = text("Memory", "Console", "&H11038DC");
  puntMessage1 = text("Messages", "Punt Message 1", "Player:_");
  displayPlayerNumber = text("Messages", "Display Player Number", "True");
  puntMessage2 = text("Messages", "Punt Message 2", "_voted out!");
  maxPlayerVotes = atLeast("Votes", "Max Player Votes", "5", 0);
  maxMapVotes = text("Votes", "Max Map Votes", "5");
  // Kept as text, as the processing tick compares it; checked here so that a text that is no number
  // cannot end every processing tick before the reset and the operator's requests are reached.
  if (const std::optional<double> limit = conv::parseNumber(maxMapVotes); !limit || !(*limit >= 0)) {
    reportBadSetting("Votes/Max Map Votes", maxMapVotes,
                     std::string(limit ? "below 0" : "not a number") + ", so the default 5 is used");
    maxMapVotes = "5";
  } else {
    badSettings_.erase("Votes/Max Map Votes");
  }
  mapVotedOutMessage = text("Messages", "Map Voted Out", "Map has been voted ~ map changing...");
  adminNextMapMessage = text("Messages", "Next Map - Admin", "The admin has voted for a map change!");
  displaySummary = atLeast("General", "Display Summary", "90", 0);
  collectInterval = interval("Interval", "500");
  processInterval = interval("Interval 2", "10000");
  serverRunningMessage = text("Messages", "Server Running", "This server is running Vornak's voting system!");
  programSummaryMessage =
      text("Messages", "Program Summary", "It allows you to vote players out of the game.");
  programInfoMessage = text("Messages", "Program Info", kDefaultProgramInfo);
  extraLineMessage = text("Messages", "Extra Line", "");
  votesResetMessage = text("Messages", "Votes Reset", "All Votes Reset");
  resetVotes = atLeast("General", "Reset Votes", "90", 0);
  firstRun = boolean("General", "First Run", "True");
  playerStartAddress = text("Memory", "Player Start", "");
  // Room for the longest command, "resetgames", and its NUL at the least.
  consoleSize = atLeast("Memory", "Console Size", "90", 11);
  // Each of errorlog.log and votes.log is set aside past this size, so a server left alone for weeks
  // cannot fill its disk with them.
  const std::uintmax_t logLimit =
      static_cast<std::uintmax_t>(atLeast("General", "Max Log Size KB", "1024", 1)) * 1024;
  errorLog.setSizeLimit(logLimit);
  fairVotes.setLogSizeLimit(logLimit);

  // The opt-in rules come after the keys above. Each one is off when absent or when its text does not
  // convert, and a share outside 1 to 100 is off as well.
  constexpr const char* kFair = "Fair Votes";
  auto share = [&integer](const char* key) {
    const std::int16_t percent = integer(kFair, key, "0");
    return percent >= 1 && percent <= 100 ? percent : std::int16_t{0};
  };
  FairVoteSettings& fair = fairVotes.settings;
  fair.oneVotePerPlayer = boolean(kFair, "One Vote Per Player", "False");
  fair.votesFollowPlayer = boolean(kFair, "Votes Follow Player", "False");
  fair.immunePlayers = FairVoteSettings::namesFromList(text(kFair, "Immune Players", ""));
  fair.playerVoteShare = share("Player Vote Share");
  fair.mapVoteShare = share("Map Vote Share");
  // A count of players or ticks beyond the 16-bit range is taken as the largest one, not as the default:
  // "Progress Every=40000" asks for rare messages, never for one on every tick.
  auto count = [&text](const char* key, std::int16_t least, std::int16_t byDefault) {
    const std::optional<double> value = conv::parseNumber(text(kFair, key, ""));
    if (!value || std::isnan(*value))
      return byDefault;
    return static_cast<std::int16_t>(std::clamp(std::nearbyint(*value), static_cast<double>(least), 32767.0));
  };
  fair.minPlayers = count("Min Players", 0, 0);
  fair.progressMessage = text(kFair, "Progress Message", "");
  fair.progressEvery = count("Progress Every", 1, 1);
  fair.auditLog = boolean(kFair, "Audit Log", "False");
  auto seconds = [this, &integer, &text](const char* key, std::int16_t least, std::int16_t most) {
    const std::int16_t value = integer(kFair, key, "0");
    if (value >= least && value <= most)
      return value;
    // 0 is the way to say off; any other value meant something, and its option silently off would not.
    const std::string written = text(kFair, key, "");
    const std::string name = std::string(kFair) + "/" + key;
    if (!written.empty() && written != "0")
      reportBadSetting(name, written,
                       "not " + std::to_string(least) + " to " + std::to_string(most) + ", so it is off");
    else
      badSettings_.erase(name);
    return std::int16_t{0};
  };
  fair.joinDelay = seconds("Join Delay", 1, 3600);
  fair.voteLifetime = seconds("Vote Lifetime", 10, 3600);
  fair.actAtOnce = boolean(kFair, "Act At Once", "False");
  fair.rejoinPuntMinutes = seconds("Rejoin Punt Minutes", 1, 1440);
  fair.rejoinMessage = text(kFair, "Rejoin Message", "%name% was voted out; back in %minutes% min");
  // The options that go by the names in the player table cannot work without it.
  for (const auto& [key, on] : {std::pair{"Join Delay", fair.joinDelay > 0},
                                std::pair{"Rejoin Punt Minutes", fair.rejoinPuntMinutes > 0}}) {
    const std::string name = std::string(kFair) + "/" + key;
    if (on && playerStartAddress.empty()) {
      if (reportBadSetting(name, text(kFair, key, ""), "needs [Memory] Player Start, so it cannot work"))
        host.settingsNote(std::string(kFair) + " " + key + " needs [Memory] Player Start, so it cannot work");
    } else if (on) {
      badSettings_.erase(name);
    }
  }
  // Who was voted out before a restart is read once, when the option is first on.
  if (fair.rejoinPuntMinutes > 0 && !playerStartAddress.empty() && !fairVotes.votedOut.loaded()) {
    const std::string problem = fairVotes.votedOut.load(fair.rejoinPuntMinutes);
    if (!problem.empty())
      errorLog.append(problem, kVotedOutLabel);
  } else if (fair.rejoinPuntMinutes > 0) {
    // Made shorter since: nobody waits longer than the option now says.
    fairVotes.votedOut.limitTo(fair.rejoinPuntMinutes);
  }

  remoteSettings = RemoteSettings{text("Remote", "Listen", ""), text("Remote", "Token", "")};
  if (remoteConsole)
    remoteConsole->configure(remoteSettings);

  // Only the intervals change here; a paused service stays paused.
  Timer1.setInterval(collectInterval);
  Timer2.setInterval(processInterval);

  if (firstRun) {
    host.showChooser();
    return;
  }
  try {
    gameAttached = objMem.OpenGame(gameName);
  } catch (const std::exception& error) {
    // The game link promises false rather than an error; should one still come, the operator hears of it
    // and the collection tick keeps retrying as for any failed attach.
    gameAttached = false;
    showNotice(std::string("Unable to connect to: ") + gameName + "\r\n" + error.what());
    return;
  }
  startAfreshForNewGame();
}

bool frmmain::reportBadSetting(const std::string& key, const std::string& value,
                               const std::string& fallback) {
  const auto reported = badSettings_.find(key);
  if (reported != badSettings_.end() && reported->second == value)
    return false;
  badSettings_[key] = value;
  errorLog.append(key + " \"" + value + "\": " + fallback, kSettingsLabel);
  return true;
}

bool frmmain::startAfreshForNewGame() {
  const std::uint64_t game = objMem.attachedGame();
  if (game == 0 || game == knownGame_)
    return false;
  const bool another = knownGame_ != 0;
  knownGame_ = game;
  if (!another)
    return false;
  List3.assign(List3.size(), "0");
  Text4 = "0";
  Text1.clear();
  // The new game's first chat line counts even when it reads like the old game's last one.
  lastChatLine.clear();
  fairVotes.forgetAll();
  errorLog.append("Another game process attached: the votes, the map votes and the vote log start afresh",
                  kGameLinkLabel);
  fairVotes.audit("New game process - all votes cleared");
  return true;
}

void frmmain::reportCutConsoleText(const std::string& text, std::size_t keptBytes) {
  // Texts with players' names in them are without number; the record of those told about stays small.
  if (cutTextsReported_.size() >= 256)
    cutTextsReported_.clear();
  if (!cutTextsReported_.insert(text).second)
    return;
  errorLog.append("Console text of " + std::to_string(text.size()) + " characters cut to the " +
                      std::to_string(keptBytes) + " that Memory/Console Size " + std::to_string(consoleSize) +
                      " leaves room for: " + text,
                  kVoteProcessing);
}

void frmmain::exit_Click() {
  host.quit();
}

void frmmain::Timer1_Timer() {
  if (!ticks.collectionMayStart())
    return;
  const TickNesting::Scope running(ticks, TickNesting::Frame::Collection);
  collectVotes(*this);
}

void frmmain::Timer2_Timer() {
  if (!ticks.processingMayStart())
    return;
  {
    const TickNesting::Scope running(ticks, TickNesting::Frame::Processing);
    processVotes(*this, ProcessingKind::Regular);
  }
  if (std::exchange(earlyTickAfterProcessing_, false))
    actAtOnce();
}

void frmmain::actAtOnce() {
  if (!fairVotes.settings.actAtOnce || servicePaused || earlyTickScheduled_)
    return;
  earlyTickScheduled_ = true;
  const std::int64_t sinceLast = clock_.steadyMs() - lastEarlyTickMs_;
  const std::int64_t wait = earlyTickRan_ && sinceLast < 1000 ? 1000 - sinceLast : 0;
  host.runLater(static_cast<int>(wait), [this] { earlyProcessingTick(); });
}

void frmmain::earlyProcessingTick() {
  earlyTickScheduled_ = false;
  if (!fairVotes.settings.actAtOnce || servicePaused)
    return;
  if (!ticks.processingMayStart()) {
    earlyTickAfterProcessing_ = true;
    return;
  }
  lastEarlyTickMs_ = clock_.steadyMs();
  earlyTickRan_ = true;
  {
    const TickNesting::Scope running(ticks, TickNesting::Frame::Processing);
    processVotes(*this, ProcessingKind::Early);
  }
  if (std::exchange(earlyTickAfterProcessing_, false))
    actAtOnce();
}

void frmmain::showNotice(const std::string& text, TickNesting::Frame frame) {
  const TickNesting::Scope open(ticks, frame);
  host.showNotice(text);
}

void frmmain::Command1_Click() {
  // Every count row is cleared, not only as many as the roster holds: a roster scan that failed half-way
  // leaves fewer names than counts, and those counts must go as well.
  List3.assign(List3.size(), "0");
  Text4 = "0";
  Text1.clear();
  fairVotes.forgetAll();
  fairVotes.audit("Clear Votes");
  globals.raiseClearVotes();
}

void frmmain::Command2_Click() {
  globals.raiseNextMap();
  showNotice(nextMapNotice());
  Text4 = "0";
  fairVotes.forget(FairVotes::kMap);
}

void frmmain::requestNextMap() {
  globals.raiseNextMap();
  Text4 = "0";
  fairVotes.forget(FairVotes::kMap);
}

std::string frmmain::nextMapNotice() const {
  return "Map will be reset on the next checking cycle.\r\n(under " + std::to_string(Timer2.interval()) +
         "m/s)\r\nMap votes reset";
}

void frmmain::Command3_Click() {
  host.showPuntBanDialog();
}

void frmmain::Command4_Click() {
  if (!servicePaused) {
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    Command4Caption = kStartService;
    servicePaused = true;
    return;
  }
  Timer1.setEnabled(true);
  Timer2.setEnabled(true);
  Command4Caption = kPauseService;
  servicePaused = false;
  Form_Activate();
}

void frmmain::choosegame_Click() {
  host.showChooser();
}

void frmmain::onlinehelp_Click() {
  host.openWebPage(kOnlineHelpAddress);
}

void frmmain::about_Click() {
  host.showAbout();
}
