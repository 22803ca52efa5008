// Texts and typed values of the timing screens.
#include "timing/timing_text.h"
#include "ui/live_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

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

// Fixed texts are built digit by digit where that is exact; printf decides
// every case, around halfway points above all.
TEST(FixedText, DigitByDigitReadsAsPrintfAroundEveryKindOfHalfway) {
  std::vector<double> values;
  for (int i = 0; i < 4000; ++i) {
    for (const double scale : {1.0, 10.0, 100.0, 1000.0}) {
      const double halfway = (i + 0.5) / scale;  // exact or nearly: both sides matter
      values.insert(values.end(), {halfway, std::nextafter(halfway, 0.0), std::nextafter(halfway, 1e300)});
    }
  }
  for (float speed = 0.0f; speed < 400.0f; speed += 1.0f / 64) {
    values.push_back(static_cast<double>(speed));
    values.push_back(static_cast<double>(speed) * 1.609344);
  }
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    values.push_back(std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 60)));
  }
  values.insert(values.end(), {0.9999, 0.0005, 999999999999.5, 1e12, 4503599627370495.5, -2.25, -1.0});
  for (const double value : values) {
    for (const double signedValue : {value, -value}) {
      for (int precision = 0; precision <= 3; ++precision) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%.*f", precision, signedValue);
        ASSERT_EQ(fixedText(signedValue, precision), expected) << signedValue << " to " << precision;
      }
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
