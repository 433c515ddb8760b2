// Text <-> number conversions shared by the settings, the vote table, the ticks and the dialogs.
// Numbers are written in the plain form the settings file and the players use: optional blanks, an
// optional sign, decimal digits with an optional fraction ("3", " -1", "2.5", ".5"). Addresses may also
// be written in "&H" hexadecimal. Failures raise RuntimeError with "Type mismatch" or "Overflow".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace conv {

// The value of a decimal numeric word, or nothing when the text is not one. Too many digits for a double
// give an infinity of the right sign, so that a later range check reports an overflow, not a mismatch.
std::optional<double> parseNumber(std::string_view text);

// True when parseNumber accepts the text.
bool isNumeric(std::string_view text);

// The value of a numeric word; "Type mismatch" otherwise.
double toNumber(std::string_view text);

// A whole number rounded half to even; "Overflow" outside -32768..32767.
std::int16_t roundToInt16(double value);

// toNumber then roundToInt16: "2.5" gives 2, "3.5" gives 4.
std::int16_t toInt16(std::string_view text);

// A 32-bit integer from decimal text (rounded half to even) or from "&H" followed by at most eight
// hexadecimal digits, taken as the bits of a signed 32-bit value ("&HFFFFFFFF" is -1).
std::int32_t toInt32(std::string_view text);

// "True" / "False" in any letter case, or a number (0 is false, anything else true).
bool toBoolean(std::string_view text);

// Sum of two 16-bit integers; "Overflow" when it leaves the range.
std::int16_t addInt16(std::int16_t a, std::int16_t b);

// Decimal text of a number as the vote table shows it: whole numbers without a decimal point, never an
// exponent, and digits enough that parseNumber gives back the same value. "Overflow" for an infinity.
std::string formatNumber(double value);

// Uppercase hexadecimal digits of the 32 bits of a value, no prefix, no leading zeros ("0" for zero).
std::string hex32(std::int32_t value);

}  // namespace conv
