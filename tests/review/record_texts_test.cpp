// What run definitions are called on the records and plot screens, and how
// a stored time reads in the list.
#include "review/record_texts.h"

#include <gtest/gtest.h>

#include "common/units.h"

namespace corvantis::testing {
namespace {

constexpr int32_t kImperial = units::kImperial;
constexpr int32_t kMetric = units::kMetric;

TEST(RecordTexts, CategoryAndPlotHeaderOfEachKindOfDefinition) {
  struct Case {
    RecordKey key;
    int32_t units;
    const char* category;
    const char* header;
  };
  const Case cases[] = {
      {RecordKey{0, 60}, kImperial, "Acc Run: 0..60 mph", "Acc Run: 0..60 mph"},
      {RecordKey{0, 60}, kMetric, "Acc Run: 0..96 kph", "Acc Run: 0..96 kph"},
      // 0 to 100 kph is stored as 0 to 62 mph, which reads back as 99 kph.
      {accelerationKey(0.0f, 62.137f), kMetric, "Acc Run: 0..99 kph", "Acc Run: 0..99 kph"},
      {RecordKey{30, 70}, kImperial, "Acc Run: 30..70 mph", "Acc Run: 30..70 mph"},
      {distanceKey(402.336), kImperial, "Dist Run: 440 yards (1/4 mile)", "440 yards (1/4 mile)"},
      {distanceKey(402.336), kMetric, "Dist Run: 402 meters", "402 meters"},
      {distanceKey(201.168), kImperial, "Dist Run: 220 yards (1/8 mile)", "220 yards (1/8 mile)"},
      {distanceKey(400.0), kImperial, "Dist Run: 437 yards", "Dist Run: 437 yards"},
      {distanceKey(400.0), kMetric, "Dist Run: 400 meters", "Dist Run: 400 meters"},
      {distanceKey(800.0), kImperial, "Dist Run: 874 yards", "Dist Run: 874 yards"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.category);
    EXPECT_EQ(recordSetCategoryText(c.key, c.units), c.category);
    EXPECT_EQ(plotHeaderText(c.key, c.units), c.header);
  }
}

TEST(RecordTexts, TimeRowsShowTheStampsCalendarAndTheBestMark) {
  struct Case {
    uint32_t timeMs;
    uint32_t stamp;
    bool best;
    const char* text;
  };
  const Case cases[] = {
      {5234, 1796479620u, true, "5.234s on 05/12/26 at 14:07(Best)"},      // 2026-12-05 14:07:00
      {63005, 1799481930u, false, "1m 03.005s on 09/01/27 at 08:05"},      // 2027-01-09 08:05:30
      {234, 946684740u, false, ".234s on 31/12/99 at 23:59"},              // 1999-12-31 23:59
      {4294967295u, 4294967295u, false, "71582m 47.295s on 07/02/06 at 06:28"},  // 2106: past 2038
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(timeRowText(c.timeMs, c.stamp, c.best), c.text);
  }
  EXPECT_EQ(averageRowText(6501), "6.501s Average");
  EXPECT_EQ(averageRowText(0), ".000s Average");
}

}  // namespace
}  // namespace corvantis::testing
