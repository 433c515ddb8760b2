// Text <-> number conversions. The failure text matters as much as the value: it is what the error log
// shows, and operators tell a typo ("Type mismatch") from a value out of range ("Overflow") by it.
#include "common/conversions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "common/runtime_error.h"

namespace {

// The description a conversion fails with, or "ok" when it succeeds.
template <typename F>
std::string failure(F&& convert) {
  try {
    convert();
  } catch (const RuntimeError& error) {
    return error.what();
  }
  return "ok";
}

TEST(ConversionsTest, NumericWords) {
  EXPECT_EQ(conv::parseNumber(" \t-12.5 \t"), -12.5);
  EXPECT_EQ(conv::parseNumber("+3"), 3.0);
  EXPECT_EQ(conv::parseNumber(".5"), 0.5);
  EXPECT_EQ(conv::parseNumber("5."), 5.0);
  for (const char* word : {"", " ", "-", "+", ".", "-.", "1e5", "0x10", "&H10", "1,5", "1 2", "- 1", "--1",
                           "1.2.3", "inf", "nan"}) {
    EXPECT_FALSE(conv::isNumeric(word)) << '"' << word << '"';
  }
  const std::string huge(400, '9');
  ASSERT_TRUE(conv::isNumeric(huge));
  EXPECT_EQ(conv::toNumber(huge), std::numeric_limits<double>::infinity());
  EXPECT_EQ(conv::toNumber("-" + huge), -std::numeric_limits<double>::infinity());
  // A long run of zeros after the point underflows; that must stay a small number, not become an overflow.
  const std::string tiny = "0." + std::string(400, '0') + "1";
  EXPECT_EQ(conv::toNumber(tiny), 0.0);
  EXPECT_EQ(conv::toNumber("-" + tiny), 0.0);
  EXPECT_EQ(failure([] { conv::toNumber("abc"); }), "Type mismatch");
}

TEST(ConversionsTest, Int16RoundsHalfToEvenAndReportsWhichFailure) {
  EXPECT_EQ(conv::toInt16("2.5"), 2);
  EXPECT_EQ(conv::toInt16("3.5"), 4);
  EXPECT_EQ(conv::toInt16("-2.5"), -2);
  EXPECT_EQ(conv::toInt16("2.51"), 3);
  EXPECT_EQ(conv::toInt16(" 32767.4 "), 32767);
  EXPECT_EQ(conv::toInt16("-32768.5"), -32768);
  EXPECT_EQ(conv::toInt16("0." + std::string(400, '0') + "1"), 0);
  EXPECT_EQ(failure([] { conv::toInt16("32767.5"); }), "Overflow");
  EXPECT_EQ(failure([] { conv::toInt16("-32769"); }), "Overflow");
  EXPECT_EQ(failure([] { conv::toInt16(std::string(400, '1')); }), "Overflow");
  EXPECT_EQ(failure([] { conv::toInt16("12a"); }), "Type mismatch");
  EXPECT_EQ(failure([] { conv::toInt16(""); }), "Type mismatch");
  EXPECT_EQ(failure([] { conv::roundToInt16(std::numeric_limits<double>::quiet_NaN()); }), "Overflow");
}

TEST(ConversionsTest, Int32FromDecimalAndHex) {
  EXPECT_EQ(conv::toInt32("&HFF"), 255);
  EXPECT_EQ(conv::toInt32(" &hff "), 255);
  EXPECT_EQ(conv::toInt32("&H7FFFFFFF"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(conv::toInt32("&HFFFFFFFF"), -1);
  EXPECT_EQ(conv::toInt32("&H80000000"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(conv::toInt32("&H0000000000FF"), 255);
  EXPECT_EQ(failure([] { conv::toInt32("&H100000000"); }), "Overflow");
  EXPECT_EQ(failure([] { conv::toInt32("&H"); }), "Type mismatch");
  EXPECT_EQ(failure([] { conv::toInt32("&HG"); }), "Type mismatch");
  EXPECT_EQ(failure([] { conv::toInt32("&H 1"); }), "Type mismatch");
  EXPECT_EQ(failure([] { conv::toInt32("&H-1"); }), "Type mismatch");

  EXPECT_EQ(conv::toInt32("-2147483648.5"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(conv::toInt32("2147483646.5"), 2147483646);
  EXPECT_EQ(conv::toInt32(" 40000 "), 40000);
  EXPECT_EQ(failure([] { conv::toInt32("2147483647.5"); }), "Overflow");
  EXPECT_EQ(failure([] { conv::toInt32("-2147483649"); }), "Overflow");
  EXPECT_EQ(failure([] { conv::toInt32("0x10"); }), "Type mismatch");
}

TEST(ConversionsTest, BooleanWordsAndNumbers) {
  EXPECT_TRUE(conv::toBoolean("True"));
  EXPECT_TRUE(conv::toBoolean(" true "));
  EXPECT_FALSE(conv::toBoolean("FALSE"));
  EXPECT_FALSE(conv::toBoolean("0"));
  EXPECT_FALSE(conv::toBoolean("-0.0"));
  EXPECT_TRUE(conv::toBoolean("-1"));
  EXPECT_TRUE(conv::toBoolean("0.1"));
  EXPECT_EQ(failure([] { conv::toBoolean("yes"); }), "Type mismatch");
  EXPECT_EQ(failure([] { conv::toBoolean("truex"); }), "Type mismatch");
  EXPECT_EQ(failure([] { conv::toBoolean(""); }), "Type mismatch");
}

TEST(ConversionsTest, AddInt16OverflowsAtBothEnds) {
  EXPECT_EQ(conv::addInt16(32766, 1), 32767);
  EXPECT_EQ(conv::addInt16(-32767, -1), -32768);
  EXPECT_EQ(conv::addInt16(32767, -32768), -1);
  EXPECT_EQ(failure([] { conv::addInt16(32767, 1); }), "Overflow");
  EXPECT_EQ(failure([] { conv::addInt16(-32768, -1); }), "Overflow");
}

TEST(ConversionsTest, FormatsAsTheVoteTableShowsThem) {
  EXPECT_EQ(conv::formatNumber(0.0), "0");
  EXPECT_EQ(conv::formatNumber(-0.0), "0");
  EXPECT_EQ(conv::formatNumber(3.0), "3");
  EXPECT_EQ(conv::formatNumber(-40000.0), "-40000");
  EXPECT_EQ(conv::formatNumber(2.5), "2.5");
  EXPECT_EQ(conv::formatNumber(-0.25), "-0.25");
  // The counts are read back with toNumber, which takes no exponent: every finite number is written in
  // plain digits that read back to the same value, however large or small.
  EXPECT_EQ(conv::formatNumber(1e15), "1000000000000000");
  EXPECT_EQ(conv::formatNumber(1e20), "100000000000000000000");
  EXPECT_EQ(conv::formatNumber(-1.5e-7), "-0.00000015");
  for (const double value :
       {123456789012.0, 1234567890123456.0, 9007199254740993.0, 1e23, -1e300,
        std::numeric_limits<double>::max(), 0.1 + 0.2, 1.5e-20, std::numeric_limits<double>::denorm_min()}) {
    const std::string written = conv::formatNumber(value);
    EXPECT_EQ(written.find_first_not_of("-0123456789."), std::string::npos) << written;
    EXPECT_EQ(conv::toNumber(written), value) << written;
  }
  // An infinite count cannot be written back; the tick fails as adding to it would.
  EXPECT_EQ(failure([] { conv::formatNumber(std::numeric_limits<double>::infinity()); }), "Overflow");
  EXPECT_EQ(failure([] { conv::formatNumber(-std::numeric_limits<double>::infinity()); }), "Overflow");

  EXPECT_EQ(conv::hex32(0), "0");
  EXPECT_EQ(conv::hex32(255), "FF");
  EXPECT_EQ(conv::hex32(-16), "FFFFFFF0");
  EXPECT_EQ(conv::hex32(std::numeric_limits<std::int32_t>::min()), "80000000");
  EXPECT_EQ(conv::toInt32("&H" + conv::hex32(-123456)), -123456);
}

}  // namespace
