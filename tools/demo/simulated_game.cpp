#include "demo/simulated_game.h"

#include <cmath>

#include "app/conversions.h"

SimulatedGame::SimulatedGame(std::string chatAddress, std::string consoleAddress, int playerStart)
    : chatAddress_(std::move(chatAddress)),
      consoleAddress_(std::move(consoleAddress)),
      playerStart_(playerStart) {}

std::string SimulatedGame::nameAddress(int slot) const {
  return "&H" + conv::hex32(playerStart_ + 16 * (slot + 1));
}

bool SimulatedGame::OpenGame(std::string& gameName) {
  report("[link] attached to \"" + gameName + "\"");
  return true;
}

std::string SimulatedGame::ReadString(const std::string& address, const ReadLength& length) {
  const auto found = memory_.find(address);
  if (found == memory_.end())
    return {};
  const int limit = std::holds_alternative<std::int16_t>(length)
                        ? std::get<std::int16_t>(length)
                        : conv::toInt16(std::get<std::string>(length));
  return found->second.substr(0, static_cast<std::size_t>(limit));
}

void SimulatedGame::WriteString(const std::string& address, const std::string& text, bool) {
  memory_[address] = text;
}

void SimulatedGame::SendKey(std::int16_t key) {
  if (key == kKeyConsole) {
    consoleOpen_ = true;
    return;
  }
  if (key != kKeyEnter || !consoleOpen_)
    return;
  const std::string line = memory_[consoleAddress_];
  if (talking_) {
    talking_ = false;
    consoleOpen_ = false;
    report("[chat] Server: " + line);
    memory_[chatAddress_] = "Server: " + line;
    return;
  }
  if (line == "talk") {
    talking_ = true;
    return;
  }
  consoleOpen_ = false;
  if (line == "resetgames") {
    report("[game] the map changes");
  } else if (line.rfind("punt ", 0) == 0 || line.rfind("ban ", 0) == 0) {
    const bool ban = line[0] == 'b';
    const int slot = conv::toInt16(line.substr(ban ? 4 : 5));
    const std::string name = slot >= 0 && slot < 16 ? memory_[nameAddress(slot)] : std::string();
    report(std::string("[game] ") + (ban ? "banned" : "punted") + " slot " + std::to_string(slot) +
           (name.empty() ? " (nobody there)" : " (" + name + ")"));
    if (!name.empty())
      memory_[nameAddress(slot)].clear();
  } else {
    report("[game] unknown console command: " + line);
  }
}

void SimulatedGame::Wait(const PauseSeconds& seconds) {
  if (onPause)
    onPause(static_cast<int>(std::lround(pauseToSeconds(seconds) * 1000.0)));
}

void SimulatedGame::seat(int slot, const std::string& name) {
  memory_[nameAddress(slot)] = name;
}

void SimulatedGame::say(int slot, const std::string& message) {
  const std::string line = memory_[nameAddress(slot)] + ": " + message;
  memory_[chatAddress_] = line;
  report("[chat] " + line);
}
