// The simulated game server's rules.
#include "game_sim/game.h"

#include <algorithm>
#include <charconv>

namespace gamesim {
namespace {

// "punt 3" -> 3 for the given command word; nothing when the text is not that command with a slot number.
std::optional<int> slotArgument(std::string_view command, std::string_view word) {
  if (command.size() <= word.size() + 1 || command.substr(0, word.size()) != word ||
      command[word.size()] != ' ') {
    return std::nullopt;
  }
  const std::string_view digits = command.substr(word.size() + 1);
  int slot = -1;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), slot);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.front() == '-' ||
      digits.front() == '+' || slot < 0 || slot >= kSlotCount) {
    return std::nullopt;
  }
  return slot;
}

}  // namespace

Game::Game(GameMemory memory, Scenario scenario, Transcript& transcript)
    : memory_(memory), scenario_(std::move(scenario)), transcript_(transcript) {
  fillGuard(memory_.guard);
}

void Game::start(std::int64_t nowMs, std::string_view title, long pid, std::string_view window,
                 std::uint64_t chatAddress, std::uint64_t consoleAddress, std::uint64_t playersAddress) {
  activatedAtMs_ = nowMs;
  transcript_.write(nowMs, "START",
                    "pid " + std::to_string(pid) + " window " + std::string(window) + " chat " +
                        formatAddress(chatAddress) + " console " + formatAddress(consoleAddress) +
                        " players " + formatAddress(playersAddress) + " title \"" + std::string(title) +
                        "\"");
}

void Game::exit(std::int64_t nowMs, std::string_view reason) {
  transcript_.write(nowMs, "EXIT", reason);
}

void Game::activate(std::int64_t nowMs) {
  if (active_) {
    return;  // already the active window: the keyboard stays acquired, nothing is lost
  }
  active_ = true;
  activatedAtMs_ = nowMs;
  transcript_.write(nowMs, "ACTIVE");
}

void Game::deactivate(std::int64_t nowMs) {
  if (!active_) {
    return;
  }
  active_ = false;
  transcript_.write(nowMs, "INACTIVE");
  // Keys still down were never seen by a poll and the keyboard is gone now.
  for (const auto& [key, pressedAt] : pressedAtMs_) {
    transcript_.write(nowMs, "DROPPED", key);
  }
  pressedAtMs_.clear();
}

void Game::windowGone(std::int64_t nowMs) {
  transcript_.write(nowMs, "WINDOW", "gone");
  deactivate(nowMs);
}

void Game::windowBack(std::int64_t nowMs, std::string_view window) {
  transcript_.write(nowMs, "WINDOW", "back " + std::string(window));
}

void Game::keyPress(std::string_view key, std::int64_t nowMs) {
  const std::string name(key);
  if (!active_) {
    transcript_.write(nowMs, "DROPPED", name);
    return;
  }
  if (nowMs - activatedAtMs_ < kPollMs) {
    transcript_.write(nowMs, "MISSED",
                      name + " " + std::to_string(nowMs - activatedAtMs_) + " ms after activation");
    return;
  }
  pressedAtMs_.emplace(name, nowMs);  // an auto-repeated press keeps the first time
}

void Game::keyRelease(std::string_view key, std::int64_t nowMs) {
  const auto pressed = pressedAtMs_.find(std::string(key));
  if (pressed == pressedAtMs_.end()) {
    return;  // already taken by a poll, or its press was dropped or missed
  }
  const std::string name = pressed->first;
  const std::int64_t heldMs = nowMs - pressed->second;
  pressedAtMs_.erase(pressed);
  if (heldMs < kPollMs) {
    transcript_.write(nowMs, "MISSED", name + " held " + std::to_string(heldMs) + " ms");
  } else {
    take(name, nowMs);
  }
}

void Game::keyPolled(std::string_view key, std::int64_t nowMs) {
  take(std::string(key), nowMs);
}

void Game::keyMissed(std::string_view key, std::string_view why, std::int64_t nowMs) {
  transcript_.write(nowMs, "MISSED", std::string(key) + " " + std::string(why));
}

void Game::keyDropped(std::string_view key, std::int64_t nowMs) {
  transcript_.write(nowMs, "DROPPED", key);
}

void Game::advance(std::int64_t nowMs) {
  for (auto it = pressedAtMs_.begin(); it != pressedAtMs_.end();) {
    if (nowMs - it->second >= kPollMs) {
      const std::string name = it->first;
      it = pressedAtMs_.erase(it);
      take(name, nowMs);
    } else {
      ++it;
    }
  }
  while (nextEvent_ < scenario_.size() && scenario_[nextEvent_].atMs <= nowMs) {
    apply(scenario_[nextEvent_++], nowMs);
  }
  if (nowMs >= nextGuardCheckMs_) {
    checkGuard(nowMs);
  }
}

std::optional<std::int64_t> Game::nextDueMs() const {
  std::optional<std::int64_t> due;
  if (nextEvent_ < scenario_.size()) {
    due = scenario_[nextEvent_].atMs;
  }
  for (const auto& [key, pressedAt] : pressedAtMs_) {
    due = std::min(due.value_or(pressedAt + kPollMs), pressedAt + kPollMs);
  }
  return due;
}

void Game::take(const std::string& key, std::int64_t nowMs) {
  transcript_.write(nowMs, "KEY", key);
  if (key == "grave") {
    if (!consoleOpen_) {
      consoleOpen_ = true;
      transcript_.write(nowMs, "CONSOLE", "open");
    }
  } else if (key == "Return") {
    if (consoleOpen_) {
      submit(nowMs);
    }
  }
}

void Game::submit(std::int64_t nowMs) {
  // Whatever the line holds at this moment counts, written by a player at the keyboard or by another
  // program straight into memory. A program that wrote it may have written past it.
  checkGuard(nowMs);
  const std::string line = readText(memory_.console);
  std::fill(memory_.console.begin(), memory_.console.end(), '\0');
  if (talkPending_) {
    talkPending_ = false;
    transcript_.write(nowMs, "TALK", line);
    setChat("Host: " + line, nowMs);
    return;
  }
  transcript_.write(nowMs, "COMMAND", line);
  runCommand(line, nowMs);
}

void Game::checkGuard(std::int64_t nowMs) {
  nextGuardCheckMs_ = nowMs + kGuardCheckMs;
  if (const std::size_t overwritten = overwrittenGuardBytes(memory_.guard); overwritten > 0) {
    transcript_.write(
        nowMs, "MEMORY",
        "CORRUPTED: " + std::to_string(overwritten) + " bytes after the console line were overwritten");
    fillGuard(memory_.guard);
  }
}

void Game::runCommand(const std::string& command, std::int64_t nowMs) {
  if (command.empty()) {
    // Enter on an empty console line does nothing.
  } else if (command == "talk") {
    talkPending_ = true;
  } else if (command == "resetgames") {
    ++mapNumber_;
    transcript_.write(nowMs, "MAP", std::to_string(mapNumber_));
  } else if (const auto punt = slotArgument(command, "punt")) {
    removePlayer(*punt, "PUNT", nowMs);
  } else if (const auto ban = slotArgument(command, "ban")) {
    if (!players_[static_cast<std::size_t>(*ban)].empty()) {
      banned_.insert(players_[static_cast<std::size_t>(*ban)]);
    }
    removePlayer(*ban, "BAN", nowMs);
  } else {
    transcript_.write(nowMs, "UNKNOWN", command);
  }
}

void Game::removePlayer(int slot, std::string_view word, std::int64_t nowMs) {
  const std::string name = players_[static_cast<std::size_t>(slot)];
  transcript_.write(nowMs, word, std::to_string(slot) + " " + (name.empty() ? "(empty slot)" : name));
  setPlayer(slot, "");
}

void Game::apply(const ScenarioEvent& event, std::int64_t nowMs) {
  if (event.kind == EventKind::WindowGone || event.kind == EventKind::WindowBack) {
    windowWanted_ = event.kind == EventKind::WindowBack;
    return;
  }
  const std::string& current = players_[static_cast<std::size_t>(event.slot)];
  switch (event.kind) {
    case EventKind::Join:
      if (banned_.contains(event.text)) {
        transcript_.write(nowMs, "REFUSED", event.text);
        return;
      }
      if (!current.empty()) {
        transcript_.write(nowMs, "LEAVE", std::to_string(event.slot) + " " + current);
      }
      setPlayer(event.slot, event.text);
      transcript_.write(nowMs, "JOIN", std::to_string(event.slot) + " " + event.text);
      return;
    case EventKind::Leave:
      if (!current.empty()) {
        transcript_.write(nowMs, "LEAVE", std::to_string(event.slot) + " " + current);
        setPlayer(event.slot, "");
      }
      return;
    case EventKind::WindowGone:
    case EventKind::WindowBack:
      return;
    case EventKind::Say:
      // A player who was punted or never joined has nobody at the keyboard.
      if (!current.empty()) {
        setChat(current + ": " + event.text, nowMs);
      }
      return;
  }
}

void Game::setPlayer(int slot, const std::string& name) {
  players_[static_cast<std::size_t>(slot)] = name;
  writeText(memory_.slot(slot), name);
}

void Game::setChat(const std::string& line, std::int64_t nowMs) {
  writeText(memory_.chat, line);
  transcript_.write(nowMs, "CHAT", readText(memory_.chat));
}

}  // namespace gamesim
