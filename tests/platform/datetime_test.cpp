#include "platform/datetime.h"

#include <gtest/gtest.h>

namespace rn {
namespace {

TEST(DateTime, EncodesDaysSince18991230) {
  struct Case {
    int y, m, d;
    double days;
  } cases[] = {{1899, 12, 30, 0}, {1900, 1, 1, 2}, {2004, 6, 2, 38140}, {4501, 1, 1, kNoDate}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    const TDateParts p = DecodeDateTime(c.days);
    EXPECT_EQ(p.Year, c.y);
    EXPECT_EQ(p.Month, c.m);
    EXPECT_EQ(p.Day, c.d);
  }
}

TEST(DateTime, DecodesTimeOfDayWithoutLosingAMillisecond) {
  const TDateParts p = DecodeDateTime(EncodeDateTime(2026, 12, 11, 10, 0, 0));
  EXPECT_EQ(p.Hour, 10);
  EXPECT_EQ(p.Minute, 0);
  EXPECT_EQ(p.Second, 0);
}

TEST(DateTime, DayOfWeekCountsSundayAsOne) {
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 13)), 1);  // Sunday
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 11)), 6);  // Friday
  EXPECT_EQ(DayOfWeek(0), 7);                         // 1899-12-30, Saturday
}

}  // namespace
}  // namespace rn
