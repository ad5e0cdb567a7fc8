#include "wizard/placement.h"

#include <gtest/gtest.h>

namespace rn {
namespace {

constexpr int kWidth = 612;
constexpr int kHeight = 413;

TEST(HostPlacement, FollowsTheScreens) {
  const TScreenRect laptop{0, 0, 1024, 768};
  const TScreenRect wide{0, 0, 2560, 1024};
  const TScreenRect big{1024, -200, 2560, 1440};
  const TScreenRect leftOfPrimary{-1920, 0, 1920, 1080};
  struct Case {
    const char* name;
    std::vector<TScreenRect> monitors;
    TScreenRect desktop;
    TPoint want;
  } cases[] = {
      // Centred on monitor 0, whatever the second monitor's size or side.
      {"two monitors, second to the right", {laptop, big}, {0, -200, 3584, 1440}, {206, 178}},
      {"two monitors, second to the left",
       {laptop, leftOfPrimary},
       {-1920, 0, 2944, 1080},
       {206, 178}},
      {"monitor 0 left of the origin",
       {leftOfPrimary, laptop},
       {-1920, 0, 2944, 1080},
       {-1920 + 960 - 306, 540 - 206}},
      // 768 x 1.7 = 1305.6 >= 1024: centred on the desktop.
      {"one 1024 x 768 screen", {laptop}, laptop, {206, 177}},
      // 1024 x 1.7 = 1740.8 < 2560: centred on the left half, centre x = 640.
      {"one 2560 x 1024 screen", {wide}, wide, {640 - 306, 512 - 206}},
      {"exactly 1.7 times as wide", {{0, 0, 1700, 1000}}, {0, 0, 1700, 1000}, {544, 293}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TPoint at = PlaceHost(c.monitors, c.monitors.front(), c.desktop, kWidth, kHeight);
    EXPECT_EQ(at.Left, c.want.Left);
    EXPECT_EQ(at.Top, c.want.Top);
  }
}

}  // namespace
}  // namespace rn
