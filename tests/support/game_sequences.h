// The exact calls the game receives for a console command or a chat message, as the journal records
// them, for tests to build the sequence they expect.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

using Sequence = std::vector<std::string>;

inline const std::string kShortWait = "Wait 0.6 (double)";
inline const std::string kLongWait = "Wait 4";

inline std::string consoleWrite(const std::string& text) {
  return "WriteString &H11038DC [" + text + "] True";
}

// Console key, pause, write, pause, Enter, pause.
inline Sequence consoleCommand(const std::string& text) {
  return {"SendKey 192", kShortWait, consoleWrite(text), kShortWait, "SendKey 13", kShortWait};
}

// "talk" as a console command, then the message into the open console, pause, Enter, pause.
inline Sequence chatMessage(const std::string& text) {
  return {"SendKey 192", kShortWait,         consoleWrite("talk"), kShortWait,   "SendKey 13",
          kShortWait,    consoleWrite(text), kShortWait,           "SendKey 13", kShortWait};
}

inline Sequence join(std::initializer_list<Sequence> parts) {
  Sequence all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}
