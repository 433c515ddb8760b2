// A game link for tests: answers reads from scripted texts, records every call in the journal and fails
// on the call a test chooses.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "memlink/memory_control.h"
#include "support/journal.h"

class ScriptedMemoryControl final : public MemoryControl {
 public:
  explicit ScriptedMemoryControl(Journal& journal) : journal_(journal) {}

  bool OpenGame(std::string& gameName) override;
  std::string ReadString(const std::string& address, const ReadLength& length) override;
  void WriteString(const std::string& address, const std::string& text, bool flag) override;
  void SendKey(std::int16_t key) override;
  void Wait(const PauseSeconds& seconds) override;

  // Whether OpenGame succeeds.
  bool gameRunning = true;
  // Texts a read at an address returns: queued ones first, one per read, then the standing one.
  void queueRead(const std::string& address, std::string text) {
    queued_[address].push_back(std::move(text));
  }
  void setMemory(const std::string& address, std::string text) { memory_[address] = std::move(text); }
  // The call (counted from 1 over every call this double takes, OpenGame included) that throws.
  std::optional<int> failOnCall;
  // Runs inside every Wait, as a window that keeps handling its events during a pause would.
  std::function<void()> duringWait;
  // Runs inside every Wait with the pause's length, for tests that keep a clock.
  std::function<void(double seconds)> pauseFor;

  int calls() const { return calls_; }

  // The game process the link reports as attached; a test changes it to play a restarted game.
  std::uint64_t gameProcess = 0;
  std::uint64_t attachedGame() const override { return gameProcess; }

 private:
  void count(const std::string& entry);

  Journal& journal_;
  std::map<std::string, std::deque<std::string>> queued_;
  std::map<std::string, std::string> memory_;
  int calls_ = 0;
};
