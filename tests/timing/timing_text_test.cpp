// Texts and typed values of the timing screens.
#include "timing/timing_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace corvantis {
namespace {

TEST(FixedText, PrintsAsPrintfDoesInTheCLocale) {
  // Halfway cases round as printf rounds the exact binary value.
  const double values[] = {0.0,  -0.0,   0.05,   0.25,  2.5,   3.5,      59.99999998, 96.56064,
                           440.0, 439.5, 125.85, -1.25, 1e300, 123456.75, 0.95,       402.33599999};
  for (const double value : values) {
    for (const int precision : {0, 1}) {
      char expected[400];
      std::snprintf(expected, sizeof expected, "%.*f", precision, value);
      EXPECT_EQ(fixedText(value, precision), expected) << value << " to " << precision;
    }
  }
}

TEST(SpeedLineText, UnitAndNewFixMark) {
  EXPECT_EQ(speedLineText(0.0f, false, true), "Speed: 0.0 mph *");
  EXPECT_EQ(speedLineText(59.99999998f, false, false), "Speed: 60.0 mph");
  EXPECT_EQ(speedLineText(60.0f, true, false), "Speed: 96.6 kph");
}

TEST(ParseTypedNumber, ReadsTheNumberAtTheStartAsTheFieldsDo) {
  struct Case {
    const char* text;
    std::optional<float> expected;
  };
  const Case cases[] = {
      {"60", 60.0f},        {"  62.5", 62.5f},   {"+30", 30.0f},      {"-10", -10.0f},
      {"440 (1/4 mile)", 440.0f}, {"1e3", 1000.0f}, {"100kph", 100.0f},  {"", std::nullopt},
      {"abc", std::nullopt}, {"+-5", std::nullopt}, {"nan", std::nullopt}, {"inf", std::nullopt},
      {"1e60", std::nullopt}, {".", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseTypedNumber(c.text), c.expected) << '"' << c.text << '"';
}

TEST(SpeedFitsKey, FromZeroBelowTheDistanceFlag) {
  EXPECT_TRUE(speedFitsKey(0.0f));
  EXPECT_TRUE(speedFitsKey(32767.9f));
  EXPECT_FALSE(speedFitsKey(32768.0f));
  EXPECT_FALSE(speedFitsKey(-0.5f));
  EXPECT_FALSE(speedFitsKey(std::nanf("")));
}

}  // namespace
}  // namespace corvantis
