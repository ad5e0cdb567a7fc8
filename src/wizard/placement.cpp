// The host window's placement rule.
#include "wizard/placement.h"

namespace rn {
namespace {

// A screen at most 1.7 times as wide as it is high is one display. Compared
// in integers (10 x width <= 17 x height), so no rounding decides it.
bool IsOneDisplay(const TScreenRect& screen) {
  return static_cast<long long>(screen.Height) * 17 >= static_cast<long long>(screen.Width) * 10;
}

int CentreTop(const TScreenRect& screen, int hostHeight) {
  return screen.Top + screen.Height / 2 - hostHeight / 2;
}

}  // namespace

TPoint PlaceHost(const std::vector<TScreenRect>& monitors, const TScreenRect& primary,
                 const TScreenRect& desktop, int hostWidth, int hostHeight) {
  if (monitors.size() >= 2) {
    const TScreenRect& first = monitors.front();
    return {first.Left + first.Width / 2 - hostWidth / 2, CentreTop(first, hostHeight)};
  }
  if (monitors.empty() || IsOneDisplay(primary))
    return {desktop.Left + (desktop.Width - hostWidth) / 2,
            desktop.Top + (desktop.Height - hostHeight) / 2};
  const TScreenRect& first = monitors.front();
  return {first.Left + first.Width / 4 - hostWidth / 2, CentreTop(first, hostHeight)};
}

}  // namespace rn
