// ImageList1: the images of the window's commands by their image index, and
// the application's icon. The artwork is SVG, built into the program.
#pragma once

#include <QIcon>

namespace rn {

// The image at `index` (0 to 8, 10 to 13); an empty icon for any other.
QIcon ImageListIcon(int index);
QIcon ApplicationIcon();

}  // namespace rn
