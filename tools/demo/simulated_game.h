// A small stand-in for the game server: a chat line, a console input line and a player table in a map of
// addresses, and a console that understands "talk", "punt N", "ban N" and "resetgames". It keeps a
// transcript of what the players would see.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "memlink/memory_control.h"

class SimulatedGame final : public MemoryControl {
 public:
  SimulatedGame(std::string chatAddress, std::string consoleAddress, int playerStart);

  bool OpenGame(std::string& gameName) override;
  std::string ReadString(const std::string& address, const ReadLength& length) override;
  void WriteString(const std::string& address, const std::string& text, bool flag) override;
  void SendKey(std::int16_t key) override;
  void Wait(const PauseSeconds& seconds) override;

  void seat(int slot, const std::string& name);
  // A player types a line into the chat; it becomes the newest chat line.
  void say(int slot, const std::string& message);

  // Called for every pause with its length in milliseconds: the demo advances its clock there.
  std::function<void(int)> onPause;
  // Receives every line of the transcript as it happens.
  std::function<void(const std::string&)> report = [](const std::string&) {};

 private:
  std::string nameAddress(int slot) const;

  std::string chatAddress_;
  std::string consoleAddress_;
  int playerStart_;
  std::map<std::string, std::string> memory_;
  bool consoleOpen_ = false;
  bool talking_ = false;
};
