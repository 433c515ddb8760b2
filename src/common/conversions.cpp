#include "common/conversions.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "common/runtime_error.h"
#include "common/text.h"

namespace conv {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// Half-to-even rounding that does not depend on the floating-point environment someone else set.
double roundHalfEven(double value) {
  const double floorValue = std::floor(value);
  const double diff = value - floorValue;
  if (diff < 0.5)
    return floorValue;
  if (diff > 0.5)
    return floorValue + 1.0;
  return std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
}

}  // namespace

std::optional<double> parseNumber(std::string_view word) {
  word = text::trimBlanks(word);
  bool negative = false;
  if (!word.empty() && (word.front() == '+' || word.front() == '-')) {
    negative = word.front() == '-';
    word.remove_prefix(1);
  }
  std::size_t integerDigits = 0;
  bool wholePartIsZero = true;
  std::size_t pos = 0;
  while (pos < word.size() && isDigit(word[pos])) {
    if (word[pos] != '0')
      wholePartIsZero = false;
    ++pos;
    ++integerDigits;
  }
  std::size_t fractionDigits = 0;
  if (pos < word.size() && word[pos] == '.') {
    ++pos;
    while (pos < word.size() && isDigit(word[pos])) {
      ++pos;
      ++fractionDigits;
    }
  }
  if (pos != word.size() || integerDigits + fractionDigits == 0)
    return std::nullopt;

  double value = 0.0;
  const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // A whole part of zeros ("0.000...1") can only underflow, and that is a harmless 0, not an overflow.
    value = wholePartIsZero ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (result.ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

bool isNumeric(std::string_view word) {
  return parseNumber(word).has_value();
}

double toNumber(std::string_view word) {
  const auto value = parseNumber(word);
  if (!value)
    throw RuntimeError(kTypeMismatch);
  return *value;
}

std::int16_t roundToInt16(double value) {
  const double rounded = roundHalfEven(value);
  if (!(rounded >= -32768.0 && rounded <= 32767.0))
    throw RuntimeError(kOverflow);
  return static_cast<std::int16_t>(rounded);
}

std::int16_t toInt16(std::string_view word) {
  return roundToInt16(toNumber(word));
}

std::int32_t toInt32(std::string_view word) {
  const std::string_view trimmed = text::trimBlanks(word);
  if (trimmed.size() >= 2 && trimmed[0] == '&' && (trimmed[1] == 'H' || trimmed[1] == 'h')) {
    const std::string_view digits = trimmed.substr(2);
    if (digits.empty())
      throw RuntimeError(kTypeMismatch);
    std::uint64_t bits = 0;
    for (const char c : digits) {
      const int digit = hexDigitValue(c);
      if (digit < 0)
        throw RuntimeError(kTypeMismatch);
      bits = bits * 16 + static_cast<std::uint64_t>(digit);
      if (bits > 0xFFFFFFFFu)
        throw RuntimeError(kOverflow);
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
  }
  const double rounded = roundHalfEven(toNumber(trimmed));
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
    throw RuntimeError(kOverflow);
  return static_cast<std::int32_t>(rounded);
}

bool toBoolean(std::string_view value) {
  const std::string_view trimmed = text::trimBlanks(value);
  if (text::equalsIgnoringCase(trimmed, "true"))
    return true;
  if (text::equalsIgnoringCase(trimmed, "false"))
    return false;
  return toNumber(trimmed) != 0.0;
}

std::int16_t addInt16(std::int16_t a, std::int16_t b) {
  const int sum = a + b;
  if (sum < -32768 || sum > 32767)
    throw RuntimeError(kOverflow);
  return static_cast<std::int16_t>(sum);
}

std::string formatNumber(double value) {
  if (!std::isfinite(value))
    throw RuntimeError(kOverflow);
  if (value == 0.0)
    return "0";  // also turns -0 into "0"
  // Fixed notation with the fewest digits that read back to the same double: whole numbers get no decimal
  // point, and very large or very small ones are spelt out in full, since parseNumber takes no exponent.
  // The longest are tiny negative numbers: "-0." and 324 places, as 2^-1074 needs no more to be told apart.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return std::string(buffer, result.ptr);
}

std::string hex32(std::int32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  auto bits = static_cast<std::uint32_t>(value);
  if (bits == 0)
    return "0";
  std::string digits;
  while (bits != 0) {
    digits.insert(digits.begin(), kDigits[bits & 0xFu]);
    bits >>= 4;
  }
  return digits;
}

}  // namespace conv
