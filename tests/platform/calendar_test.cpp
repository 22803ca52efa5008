#include "platform/calendar.h"

#include <gtest/gtest.h>

namespace corvantis::platform {
namespace {

TEST(Calendar, BreaksStampsDownLikeTheDeviceClock) {
  const struct {
    uint32_t stamp;
    CalendarTime want;
  } cases[] = {
      {0u, {1, 1, 1970, 0, 0, 0}},
      {951782400u, {29, 2, 2000, 0, 0, 0}},        // leap day of a century leap year
      {1796479620u, {5, 12, 2026, 14, 7, 0}},      // the records screen's example row
      {2147483647u, {19, 1, 2038, 3, 14, 7}},      // last second of signed 32-bit time
      {2147483648u, {19, 1, 2038, 3, 14, 8}},      // and one past it: still counted on
      {4107542399u, {28, 2, 2100, 23, 59, 59}},    // 2100 is no leap year: next day is 1 March
      {4294967295u, {7, 2, 2106, 6, 28, 15}},
  };
  for (const auto& c : cases) {
    const CalendarTime got = breakDownStamp(c.stamp);
    EXPECT_EQ(got.day, c.want.day) << c.stamp;
    EXPECT_EQ(got.month, c.want.month) << c.stamp;
    EXPECT_EQ(got.year, c.want.year) << c.stamp;
    EXPECT_EQ(got.hour, c.want.hour) << c.stamp;
    EXPECT_EQ(got.minute, c.want.minute) << c.stamp;
    EXPECT_EQ(got.second, c.want.second) << c.stamp;
  }
}

}  // namespace
}  // namespace corvantis::platform
