#include "support/scripted_memory_control.h"

#include <sstream>

namespace {

std::string describe(const ReadLength& length) {
  if (const auto* number = std::get_if<std::int16_t>(&length))
    return std::to_string(*number);
  return "\"" + std::get<std::string>(length) + "\"";
}

std::string describe(const PauseSeconds& seconds) {
  std::ostringstream text;
  if (const auto* number = std::get_if<std::int16_t>(&seconds)) {
    text << *number;
  } else {
    text << std::get<double>(seconds) << " (double)";
  }
  return text.str();
}

}  // namespace

void ScriptedMemoryControl::count(const std::string& entry) {
  ++calls_;
  if (failOnCall && *failOnCall == calls_) {
    journal_.add(entry + " FAILED");
    throw MemoryControlError("game link failed on call " + std::to_string(calls_));
  }
  journal_.add(entry);
}

bool ScriptedMemoryControl::OpenGame(std::string& gameName) {
  count("OpenGame " + gameName);
  return gameRunning;
}

std::string ScriptedMemoryControl::ReadString(const std::string& address, const ReadLength& length) {
  count("ReadString " + address + " " + describe(length));
  auto queued = queued_.find(address);
  if (queued != queued_.end() && !queued->second.empty()) {
    std::string text = std::move(queued->second.front());
    queued->second.pop_front();
    return text;
  }
  const auto stored = memory_.find(address);
  return stored == memory_.end() ? std::string() : stored->second;
}

void ScriptedMemoryControl::WriteString(const std::string& address, const std::string& text, bool flag) {
  count("WriteString " + address + " [" + text + "] " + (flag ? "True" : "False"));
}

void ScriptedMemoryControl::SendKey(std::int16_t key) {
  count("SendKey " + std::to_string(key));
}

void ScriptedMemoryControl::Wait(const PauseSeconds& seconds) {
  count("Wait " + describe(seconds));
  if (pauseFor)
    pauseFor(pauseToSeconds(seconds));
  if (duringWait)
    duringWait();
}
