#include "common/time_text.h"
#include "common/units.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace corvantis {
namespace {

TEST(TimeText, FormatsEveryRange) {
  const struct {
    uint32_t timeMs;
    const char* text;
  } cases[] = {
      {0, ".000s"},          {234, ".234s"},           {999, ".999s"},
      {1000, "1.000s"},      {5234, "5.234s"},         {59999, "59.999s"},
      {60000, "1m 00.000s"}, {63005, "1m 03.005s"},    {83456, "1m 23.456s"},
      {3599999, "59m 59.999s"}, {3600000, "60m 00.000s"},
      {4294967295u, "71582m 47.295s"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatRunTime(c.timeMs), c.text) << c.timeMs;
}

// The times are built digit by digit; printf's formats are what they must read.
TEST(TimeText, ReadsAsThePrintfFormatsAcrossTheRange) {
  const auto printfText = [](uint32_t timeMs) {
    char text[48];
    if (timeMs < 60000u) {
      std::snprintf(text, sizeof text, "%.i.%.3is", static_cast<int>(timeMs / 1000u),
                    static_cast<int>(timeMs % 1000u));
    } else {
      std::snprintf(text, sizeof text, "%im %.2i.%.3is", static_cast<int>(timeMs / 60000u),
                    static_cast<int>((timeMs / 1000u) % 60u), static_cast<int>(timeMs % 1000u));
    }
    return std::string(text);
  };
  for (uint32_t timeMs = 0; timeMs < 200000u; ++timeMs) ASSERT_EQ(formatRunTime(timeMs), printfText(timeMs));
  for (uint64_t timeMs = 200000u; timeMs <= 0xFFFFFFFFu; timeMs += 999983u) {
    ASSERT_EQ(formatRunTime(static_cast<uint32_t>(timeMs)), printfText(static_cast<uint32_t>(timeMs)));
  }
}

TEST(TimeText, ZeroIsEmptyWhereTheScreensAskForIt) {
  EXPECT_EQ(formatRunTimeOrEmpty(0), "");
  EXPECT_EQ(formatRunTimeOrEmpty(1), ".001s");
}

TEST(Units, RoundTripsOfTheQuarterMile) {
  // 440 yards must give exactly the stored quarter-mile constant.
  EXPECT_EQ(units::yardsToMetres(440.0), 402.336);
  EXPECT_EQ(units::yardsToMetres(220.0), 201.168);
  EXPECT_EQ(static_cast<float>(units::kphToMph(100.0)), 62.13712f);
}

}  // namespace
}  // namespace corvantis
