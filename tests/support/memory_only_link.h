// A game link that answers reads from a map of addresses and does nothing else: no journal, no failures,
// no pauses. For benchmarks and fuzz targets, where only the ticks' own work should count.
#pragma once

#include <map>
#include <string>

#include "memlink/memory_control.h"

class MemoryOnlyLink final : public MemoryControl {
 public:
  bool OpenGame(std::string&) override { return true; }
  std::string ReadString(const std::string& address, const ReadLength&) override {
    const auto found = memory.find(address);
    return found == memory.end() ? std::string() : found->second;
  }
  void WriteString(const std::string&, const std::string&, bool) override {}
  void SendKey(std::int16_t) override {}
  void Wait(const PauseSeconds&) override {}

  std::map<std::string, std::string> memory;
};
