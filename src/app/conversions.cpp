#include "app/conversions.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "app/runtime_error.h"

namespace conv {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

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

std::optional<double> parseNumber(std::string_view text) {
  text = trimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::size_t integerDigits = 0;
  bool wholePartIsZero = true;
  std::size_t pos = 0;
  while (pos < text.size() && isDigit(text[pos])) {
    if (text[pos] != '0')
      wholePartIsZero = false;
    ++pos;
    ++integerDigits;
  }
  std::size_t fractionDigits = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && isDigit(text[pos])) {
      ++pos;
      ++fractionDigits;
    }
  }
  if (pos != text.size() || integerDigits + fractionDigits == 0)
    return std::nullopt;

  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // A whole part of zeros ("0.000...1") can only underflow, and that is a harmless 0, not an overflow.
    value = wholePartIsZero ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (result.ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

bool isNumeric(std::string_view text) {
  return parseNumber(text).has_value();
}

double toNumber(std::string_view text) {
  const auto value = parseNumber(text);
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

std::int16_t toInt16(std::string_view text) {
  return roundToInt16(toNumber(text));
}

std::int32_t toInt32(std::string_view text) {
  const std::string_view trimmed = trimBlanks(text);
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

bool toBoolean(std::string_view text) {
  const std::string_view trimmed = trimBlanks(text);
  auto equalsIgnoringCase = [trimmed](std::string_view word) {
    if (trimmed.size() != word.size())
      return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      const char c = trimmed[i];
      const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      if (lower != word[i])
        return false;
    }
    return true;
  };
  if (equalsIgnoringCase("true"))
    return true;
  if (equalsIgnoringCase("false"))
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
  if (value == 0.0)
    return "0";  // also turns -0 into "0"
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    return std::to_string(static_cast<long long>(value));
  }
  char buffer[32];
  const int length = std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return std::string(buffer, static_cast<std::size_t>(length));
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
