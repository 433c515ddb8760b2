// The exact calls the game receives for a console command or a chat message, as the journal records
// them, for tests to build the sequence they expect.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

using Sequence = std::vector<std::string>;

inline const std::string kShortWait = "Wait 0.6 (double)";
inline const std::string kLongWait = "Wait 4";

inline std::string consoleWrite(const std::string& text) {
  return "WriteString &H11038DC [" + text + "] True";
}

// Every sequence first reads the console line, to find out that it can be reached before any key.
inline const std::string kConsoleProbe = "ReadString &H11038DC 90";

// Console key, pause, write, pause, Enter, pause.
inline Sequence consoleCommand(const std::string& text) {
  return {kConsoleProbe, "SendKey 192", kShortWait, consoleWrite(text), kShortWait, "SendKey 13", kShortWait};
}

// "talk" as a console command, then the message into the open console, pause, Enter, pause.
inline Sequence chatMessage(const std::string& text) {
  return {kConsoleProbe, "SendKey 192",      kShortWait, consoleWrite("talk"), kShortWait, "SendKey 13",
          kShortWait,    consoleWrite(text), kShortWait, "SendKey 13",         kShortWait};
}

// The address of roster slot k of a player table at `start`, 16 * (k + 1) above it.
inline std::string slotAddress(int k, unsigned start = 0x1000) {
  char address[24];
  std::snprintf(address, sizeof address, "&H%X", start + 16u * static_cast<unsigned>(k + 1));
  return address;
}

// The read of roster slot k of a player table at `start`.
inline std::string slotRead(int k, unsigned start = 0x1000) {
  return "ReadString " + slotAddress(k, start) + " \"16\"";
}

// A punt for votes: the player's slot is read again before the console key and before Enter.
inline Sequence puntByVotes(int k, unsigned start = 0x1000) {
  Sequence punt = consoleCommand("punt " + std::to_string(k));
  punt.insert(punt.begin() + 5, slotRead(k, start));
  punt.insert(punt.begin() + 1, slotRead(k, start));
  return punt;
}

inline Sequence join(std::initializer_list<Sequence> parts) {
  Sequence all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A processing tick's roster scan: the sixteen slots in order.
inline Sequence rosterReads(unsigned start = 0x1000) {
  Sequence reads;
  for (int k = 0; k < 16; ++k)
    reads.push_back(slotRead(k, start));
  return reads;
}

inline const Sequence kYield = {"Yield"};
// The two yields of a tick with nothing more to do: the one after the summary step and the one of the
// reset step that only counts.
inline const Sequence kQuietEnd = {"Yield", "Yield"};

// A player punted for votes, the announcement that names him and its yield.
inline Sequence votedOut(int k, const std::string& name, unsigned start = 0x1000) {
  return join({puntByVotes(k, start),
               chatMessage("Player:_" + name + "(" + std::to_string(k) + ")_voted out!"), kYield});
}

// `message` with its last pause replaced.
inline Sequence withLastPause(Sequence message, std::initializer_list<std::string> replacement) {
  message.pop_back();
  message.insert(message.end(), replacement);
  return message;
}

// The map notice, which ends with a yield and the long pause, then "resetgames".
inline Sequence mapChange() {
  return join({withLastPause(chatMessage("Map has been voted ~ map changing..."), {"Yield", kLongWait}),
               consoleCommand("resetgames")});
}
