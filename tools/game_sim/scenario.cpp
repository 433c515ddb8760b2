// Parser of scenario files.
#include "game_sim/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "game_sim/game_memory.h"

namespace gamesim {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// Splits off the next blank-separated word; the rest keeps everything after the single blank that ends it.
std::string_view nextWord(std::string_view& rest) {
  while (!rest.empty() && isBlank(rest.front())) {
    rest.remove_prefix(1);
  }
  std::size_t end = 0;
  while (end < rest.size() && !isBlank(rest[end])) {
    ++end;
  }
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end == rest.size() ? end : end + 1);
  return word;
}

std::int64_t parseSeconds(std::string_view word) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), seconds);
  if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(seconds) || seconds < 0 ||
      seconds > 1e9) {
    throw std::invalid_argument("\"" + std::string(word) + "\" is not a time in seconds");
  }
  return std::llround(seconds * 1000);
}

int parseSlot(std::string_view word) {
  int slot = -1;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), slot);
  if (word.empty() || error != std::errc() || end != word.data() + word.size() || slot < 0 ||
      slot >= kSlotCount) {
    throw std::invalid_argument("slot \"" + std::string(word) + "\" is not a number from 0 to 15");
  }
  return slot;
}

ScenarioEvent parseEvent(std::string_view rest) {
  ScenarioEvent event{};
  event.atMs = parseSeconds(nextWord(rest));
  const std::string_view kind = nextWord(rest);
  if (kind.empty()) {
    throw std::invalid_argument("an event (join, leave, say or window) must follow the time");
  }
  if (kind == "window") {
    const std::string_view state = nextWord(rest);
    if ((state != "gone" && state != "back") || !nextWord(rest).empty()) {
      throw std::invalid_argument("window takes \"gone\" or \"back\"");
    }
    event.kind = state == "gone" ? EventKind::WindowGone : EventKind::WindowBack;
    event.slot = -1;
    return event;
  }
  const std::string_view slotWord = nextWord(rest);
  if (slotWord.empty()) {
    throw std::invalid_argument(std::string(kind) + " needs a slot number");
  }
  if (kind == "join") {
    event.kind = EventKind::Join;
    event.slot = parseSlot(slotWord);
    event.text = std::string(rest);
    while (!event.text.empty() && isBlank(event.text.back())) {
      event.text.pop_back();
    }
    if (event.text.empty()) {
      throw std::invalid_argument("join needs a player name");
    }
    if (event.text.size() >= kSlotBytes) {
      throw std::invalid_argument("the name \"" + event.text + "\" is longer than " +
                                  std::to_string(kSlotBytes - 1) + " bytes");
    }
  } else if (kind == "leave") {
    event.kind = EventKind::Leave;
    event.slot = parseSlot(slotWord);
    if (!nextWord(rest).empty()) {
      throw std::invalid_argument("leave takes only a slot number");
    }
  } else if (kind == "say") {
    event.kind = EventKind::Say;
    event.slot = parseSlot(slotWord);
    // The message is everything after the blank behind the slot, blanks inside it kept as typed.
    if (rest.data() == slotWord.data() + slotWord.size()) {
      throw std::invalid_argument("say needs a message");
    }
    event.text = std::string(rest);
  } else {
    throw std::invalid_argument("unknown event \"" + std::string(kind) + "\" (join, leave, say or window)");
  }
  return event;
}

}  // namespace

Scenario parseScenario(std::string_view text, const std::string& sourceName) {
  Scenario events;
  int lineNumber = 0;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    std::string_view probe = line;
    while (!probe.empty() && isBlank(probe.front())) {
      probe.remove_prefix(1);
    }
    if (probe.empty() || probe.front() == '#') {
      continue;
    }
    try {
      ScenarioEvent event = parseEvent(line);
      event.line = lineNumber;
      events.push_back(std::move(event));
    } catch (const std::invalid_argument& error) {
      throw ScenarioError(sourceName + ":" + std::to_string(lineNumber) + ": " + error.what());
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const ScenarioEvent& a, const ScenarioEvent& b) { return a.atMs < b.atMs; });
  return events;
}

Scenario loadScenario(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw ScenarioError("cannot open the scenario " + path);
  }
  std::ostringstream content;
  content << file.rdbuf();
  return parseScenario(content.str(), path);
}

}  // namespace gamesim
