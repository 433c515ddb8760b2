// The number conversions read chat words, settings values and addresses typed by hand. The input is one
// such word; each conversion of it is checked against the C library's reading of the same text, and every
// number the vote table could write (the word's value, that value plus one, and the input's first eight
// bytes taken as a double) must read back unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/conversions.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace {

// The outcome of a conversion: the value, or the failure's description.
struct Outcome {
  double value = 0.0;
  std::string failure;
};

template <typename F>
Outcome outcomeOf(F&& convert) {
  try {
    return {static_cast<double>(convert()), {}};
  } catch (const RuntimeError& error) {
    return {0.0, error.what()};
  }
}

// Stops the run with the broken promise named; the fuzzer keeps the input that broke it.
void require(bool condition, const char* promise) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", promise);
    std::abort();
  }
}

// The value as the C library reads the whole text, for a text that parseNumber accepted.
double referenceValue(std::string_view word) {
  const std::string copy(word);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  require(end == copy.c_str() + copy.size(), "parseNumber accepts only text the C library reads whole");
  return value;
}

// Rounding to a whole number as the conversions promise it: to nearest, halves to the even neighbour, in
// the default floating-point environment.
void checkWholeNumber(const Outcome& outcome, std::optional<double> parsed, double lowest, double highest) {
  if (!parsed) {
    require(outcome.failure == kTypeMismatch, "a word that is not numeric fails with Type mismatch");
    return;
  }
  const double rounded = std::nearbyint(*parsed);
  if (rounded >= lowest && rounded <= highest)
    require(outcome.failure.empty() && outcome.value == rounded, "whole numbers round half to even");
  else
    require(outcome.failure == kOverflow, "a rounded value out of range fails with Overflow");
}

// "&H" text: at most eight significant hexadecimal digits, taken as the bits of a signed 32-bit value.
void checkHexAddress(std::string_view digits, const Outcome& outcome) {
  if (digits.empty() || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
    // Which of the two failures comes first in a long word with a stray character is left open.
    require(!outcome.failure.empty(), "\"&H\" without digits or with a stray character fails");
    return;
  }
  const std::size_t firstSignificant = digits.find_first_not_of('0');
  const std::string_view significant =
      firstSignificant == std::string_view::npos ? std::string_view("0") : digits.substr(firstSignificant);
  if (significant.size() > 8) {
    require(outcome.failure == kOverflow, "more than eight significant hexadecimal digits are an Overflow");
    return;
  }
  const auto value = static_cast<std::int32_t>(std::strtoul(std::string(significant).c_str(), nullptr, 16));
  require(outcome.failure.empty() && outcome.value == value, "\"&H\" digits are the bits of a 32-bit value");
  // The roster scan holds an address as hex32 digits between two reads.
  require(conv::toInt32("&H" + conv::hex32(value)) == value, "hex32 digits read back after \"&H\"");
}

// Whatever the vote table writes must read back as the same number, in the plain form the reader takes.
void checkWritten(double value) {
  if (!std::isfinite(value)) {
    const Outcome outcome = outcomeOf([&] { return conv::formatNumber(value).size(); });
    require(outcome.failure == kOverflow, "an infinity or NaN is not written: Overflow");
    return;
  }
  const std::string written = conv::formatNumber(value);
  require(!written.empty() && written.find_first_not_of("-0123456789.") == std::string::npos,
          "a written number holds only a sign, digits and a point");
  const auto readBack = conv::parseNumber(written);
  require(readBack && *readBack == value, "a written number reads back to the same value");
  if (value == std::trunc(value)) {
    require(written.find('.') == std::string::npos, "whole numbers are written without a decimal point");
    if (value >= -32768.0 && value <= 32767.0)
      require(conv::toInt16(written) == static_cast<std::int16_t>(value), "a written row number reads back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view word(reinterpret_cast<const char*>(data), size);
  const std::string_view trimmed = text::trimBlanks(word);

  const std::optional<double> parsed = conv::parseNumber(word);
  require(conv::isNumeric(word) == parsed.has_value(), "isNumeric agrees with parseNumber");
  const Outcome number = outcomeOf([&] { return conv::toNumber(word); });
  if (parsed) {
    // Both readings round correctly, so they agree to the last bit, overflow to infinity included.
    require(*parsed == referenceValue(trimmed), "parseNumber reads the value the C library reads");
    require(number.failure.empty() && number.value == *parsed, "toNumber gives the parsed value");
  } else {
    require(number.failure == kTypeMismatch, "toNumber of a word that is not numeric is a Type mismatch");
  }

  checkWholeNumber(outcomeOf([&] { return conv::toInt16(word); }), parsed, -32768.0, 32767.0);

  const Outcome int32 = outcomeOf([&] { return conv::toInt32(word); });
  if (trimmed.size() >= 2 && trimmed[0] == '&' && (trimmed[1] == 'H' || trimmed[1] == 'h'))
    checkHexAddress(trimmed.substr(2), int32);
  else
    checkWholeNumber(int32, parsed, -2147483648.0, 2147483647.0);

  const Outcome boolean = outcomeOf([&] { return conv::toBoolean(word); });
  const bool isTrue = text::equalsIgnoringCase(trimmed, "true");
  if (isTrue || text::equalsIgnoringCase(trimmed, "false"))
    require(boolean.failure.empty() && (boolean.value != 0.0) == isTrue, "True and False in any case");
  else if (parsed)
    require(boolean.failure.empty() && (boolean.value != 0.0) == (*parsed != 0.0), "nonzero is True");
  else
    require(boolean.failure == kTypeMismatch, "toBoolean of any other word is a Type mismatch");

  if (parsed) {
    checkWritten(*parsed);
    checkWritten(*parsed + 1.0);  // a vote counted on top of this count
  }
  if (size >= sizeof(double)) {
    double raw = 0.0;
    std::memcpy(&raw, data, sizeof raw);
    checkWritten(raw);
  }
  return 0;
}
