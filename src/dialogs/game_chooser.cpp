// The game version chooser's handlers.
#include "dialogs/game_chooser.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>

#include "common/conversions.h"
#include "common/runtime_error.h"
#include "settings/ini.h"

namespace {

constexpr const char* kAllGames = "All Games";
constexpr const char* kDefaultGameNumber = "5";

// The number of entries to list: a count that is no 16-bit whole number counts as the default.
int gameCount(const std::string& text) {
  int count = 0;
  try {
    count = conv::toInt16(text);
  } catch (const RuntimeError&) {
    count = conv::toInt16(kDefaultGameNumber);
  }
  return std::min(count, kMaxGameEntries);
}

}  // namespace

frmchoosegame::frmchoosegame(std::filesystem::path settingsPath, DialogWindowPort& window, TickNesting& ticks)
    : settingsPath_(std::move(settingsPath)), window_(window), ticks_(ticks) {}

void frmchoosegame::Form_Load() {
  const int count = gameCount(INI::ReadIniValue(settingsPath_, kAllGames, "Game Number", kDefaultGameNumber));
  for (int i = 1; i <= count; ++i) {
    const std::string number = std::to_string(i);
    Combo1Items.push_back(INI::ReadIniValue(settingsPath_, kAllGames, "Game " + number, kGameNotFound));
    List1.push_back(INI::ReadIniValue(settingsPath_, kAllGames, "Chat " + number, kGameNotFound));
    List2.push_back(INI::ReadIniValue(settingsPath_, kAllGames, "Console " + number, kGameNotFound));
    List3.push_back(
        INI::ReadIniValue(settingsPath_, kAllGames, "Player Start " + number, kPlayerStartUnavailable));
  }
}

void frmchoosegame::setCombo1ListIndex(int index) {
  if (index < -1 || index >= static_cast<int>(Combo1Items.size()))
    throw RuntimeError("Invalid property value");
  Combo1ListIndex = index;
  if (index >= 0)
    Combo1Text = Combo1Items[static_cast<std::size_t>(index)];
}

void frmchoosegame::setCombo1Text(std::string text) {
  Combo1Text = std::move(text);
  Combo1ListIndex = -1;
}

// The entry the combo box's text names, or -1. The picked item wins when it still carries the text, so that
// of two entries with the same name the one picked is written. Typed text must match an item exactly (letter
// case included) and then stands for the first such item: a name without its entry's addresses would have the
// main window attach to a game with the addresses of another, or with none at all.
int frmchoosegame::chosenEntry() const {
  const int items = static_cast<int>(Combo1Items.size());
  if (Combo1ListIndex >= 0 && Combo1ListIndex < items &&
      Combo1Items[static_cast<std::size_t>(Combo1ListIndex)] == Combo1Text) {
    return Combo1ListIndex;
  }
  const auto match = std::find(Combo1Items.begin(), Combo1Items.end(), Combo1Text);
  return match == Combo1Items.end() ? -1 : static_cast<int>(std::distance(Combo1Items.begin(), match));
}

void frmchoosegame::OKButton_Click() {
  const int entry = Combo1Text == kChooseGamePrompt || Combo1Text == kGameNotFound ? -1 : chosenEntry();
  if (entry < 0) {
    showMarkedNotice(window_, ticks_, kSelectGameNotice);
    return;
  }
  Combo1ListIndex = entry;
  // All three taken before the first write, so that lists out of step fail without a half-written choice.
  const auto position = static_cast<std::size_t>(entry);
  const std::string chat = List1.at(position);
  const std::string console = List2.at(position);
  const std::string playerStart = List3.at(position);
  INI::WriteIniValue(settingsPath_, "Game", "Name", Combo1Text);
  INI::WriteIniValue(settingsPath_, "Memory", "Chat", chat);
  INI::WriteIniValue(settingsPath_, "Memory", "Console", console);
  INI::WriteIniValue(settingsPath_, "Memory", "Player Start", playerStart);
  INI::WriteIniValue(settingsPath_, "General", "First Run", "False");
  window_.close();
}

void frmchoosegame::CancelButton_Click() {
  window_.close();
}
