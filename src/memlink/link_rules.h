// What every game link does the same way, whatever the operating system: the addresses and lengths as
// the settings and the core give them, the pacing of a key for a game that polls its keyboard, and the
// reports of whether the game can be reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <variant>

#include "common/conversions.h"
#include "memlink/memory_control.h"

namespace memlink {

// Time to take the keyboard back after the game's window was activated, and how long a key stays down.
inline constexpr double kAfterActivation = 0.1;
inline constexpr double kKeyHold = 0.03;

// The 32 bits of the settings' "&H" notation; a negative value is a high address.
inline std::uint64_t gameAddress(const std::string& address) {
  return static_cast<std::uint32_t>(conv::toInt32(address));
}

// The most bytes a read may return; 0 for a length below 1.
inline std::size_t readLimit(const ReadLength& length) {
  const std::int16_t asked = std::holds_alternative<std::int16_t>(length)
                                 ? std::get<std::int16_t>(length)
                                 : conv::toInt16(std::get<std::string>(length));
  return asked > 0 ? static_cast<std::size_t>(asked) : 0;
}

// Hands the link's state ("game found: ...", "game not found: ...") on once each time it changes, so that a
// game that stays away is reported once, not on every tick.
class StateReport {
 public:
  explicit StateReport(std::function<void(const std::string&)> report) : report_(std::move(report)) {}
  void operator()(const std::string& state) {
    if (state == last_)
      return;
    last_ = state;
    if (report_)
      report_(state);
  }

 private:
  std::function<void(const std::string&)> report_;
  std::string last_;
};

}  // namespace memlink
