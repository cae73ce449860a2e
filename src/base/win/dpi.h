// Figures of the window's 96-DPI design at the DPI it is shown at.
#pragma once

#include <windows.h>

namespace calvorin::win32 {

// A part of the window laid out in figures of the 96-DPI design and shown at dpi_.
class DpiScaled {
 public:
  // A figure of the design in pixels at dpi_, rounded to the nearest (MulDiv).
  int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

 protected:
  int dpi_ = 96;
};

}  // namespace calvorin::win32
