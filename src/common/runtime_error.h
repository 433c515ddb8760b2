// The one error type that ends a timer tick. Its text is the description written to the error log,
// so it reads like the failures an operator knows: "Overflow", "Type mismatch", or what the game link says.
#pragma once

#include <stdexcept>
#include <string>

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(const std::string& description) : std::runtime_error(description) {}
};

// Descriptions shared by the conversions and the vote table.
inline constexpr const char* kOverflow = "Overflow";
inline constexpr const char* kTypeMismatch = "Type mismatch";
inline constexpr const char* kSubscriptOutOfRange = "Subscript out of range";

// Runs `action`; a run-time error it raises comes back with the setting it concerns in front, as in
// "Memory/Chat &HZZZ: Type mismatch": the error log is all an operator has to go on when every tick ends
// the same way.
template <typename Action>
auto namingSetting(const char* key, const std::string& value, Action&& action) -> decltype(action()) {
  try {
    return action();
  } catch (const std::runtime_error& error) {
    throw RuntimeError(std::string(key) + " " + value + ": " + error.what());
  }
}
