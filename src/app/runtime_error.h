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
