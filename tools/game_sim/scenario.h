// Scripted players: when they join and leave slots and what they type into the chat.
// One event per line: "<seconds> join <slot> <name>", "<seconds> leave <slot>", "<seconds> say <slot>
// <message>", and "<seconds> window gone" / "<seconds> window back" for a game whose window goes away while
// its process and memory live on; blank lines and lines starting with '#' are ignored.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace gamesim {

enum class EventKind { Join, Leave, Say, WindowGone, WindowBack };

struct ScenarioEvent {
  std::int64_t atMs;
  EventKind kind;
  int slot;          // -1 for the window events
  std::string text;  // the name for Join, the message for Say
  int line;          // in the scenario file, for messages
};

// Events in time order; events at the same time keep the order of their lines.
using Scenario = std::vector<ScenarioEvent>;

// Its message names the source and the line: "demo.txt:7: slot 16 is not between 0 and 15".
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Scenario parseScenario(std::string_view text, const std::string& sourceName);
Scenario loadScenario(const std::string& path);

}  // namespace gamesim
