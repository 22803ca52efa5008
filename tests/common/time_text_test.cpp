#include "common/time_text.h"
#include "common/units.h"

#include <gtest/gtest.h>

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
