// Where the wizard's host window opens, as a function of the screens: centred
// on the first monitor when there are several; centred on the desktop on one
// ordinary screen; centred on the left half of one very wide screen (two
// displays joined into one), so it does not open across the seam.
#pragma once

#include <vector>

namespace rn {

struct TScreenRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

struct TPoint {
  int Left = 0;
  int Top = 0;
};

// `monitors` in the order the system reports them (the first is monitor 0),
// `primary` the primary screen, `desktop` the whole virtual desktop; the
// result is the host's top-left corner.
TPoint PlaceHost(const std::vector<TScreenRect>& monitors, const TScreenRect& primary,
                 const TScreenRect& desktop, int hostWidth, int hostHeight);

}  // namespace rn
