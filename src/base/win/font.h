// The program's typeface at a given size, for its windows and for whatever measures text as
// they do.
#pragma once

#include <windows.h>

namespace calvorin::win32 {

// Arial. A positive `height` is the character height (the em, without the internal leading),
// the size a font is given in points or pixels everywhere else; a negative one its cell height.
inline HFONT MakeFont(int height, int weight, bool underline) {
  return CreateFontA(-height, 0, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, "Arial");
}

}  // namespace calvorin::win32
