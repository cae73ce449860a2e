// The two controls the window draws itself: the banner and the Search button's face.
#pragma once

#include <windows.h>

#include "base/win/dpi.h"
#include "base/win/unique_handle.h"

namespace calvorin::win32 {

// Whether the system's high-contrast mode is on (Wine keeps no such flag: always off there).
bool HighContrastOn();

// The banner across the top of the main page: a blue gradient with the program's icon, name and
// what it does. It is drawn once per size into a bitmap and copied from there: a long Repair
// repaints the window many times, and the gradient is a hundred brushes.
class Banner : private DpiScaled {
 public:
  // The banner's figures are of the 96-DPI design, drawn at `dpi`. It owns `icon`, which it
  // draws at 48 pixels of the design: the icon file holds that size at 96, 144 and 192 DPI,
  // where a stretched smaller image would be blocky.
  void Load(HICON icon, int dpi);
  // The colour scheme changed: the banner is painted again, in the scheme's window colours
  // under high contrast and in its own gradient otherwise.
  void Restyle(bool highContrast);
  // WM_DRAWITEM of the banner's control; the tagline is in `font`.
  void Draw(const DRAWITEMSTRUCT& item, HFONT font);

 private:
  void Paint(HDC dc, const RECT& r, HFONT font);

  UniqueIcon icon_;
  bool highContrast_ = HighContrastOn();
  // The banner as last painted, copied to the screen on every repaint at the same size.
  UniqueGdiObject bitmap_;
  SIZE size_{0, 0};
};

// The Search button's face: the theme's push button (or the classic one) with the program's
// small icon and the caption centred together, and a grey copy of the icon while disabled.
//
// A BM_SETIMAGE icon is greyed by DrawState(DSS_DISABLED), which turns an icon with an alpha
// channel into a flat grey square; Wine 8 also ignores a button image list's disabled image. So
// the button is owner-drawn.
class SearchButtonFace : private DpiScaled {
 public:
  void Load(HICON smallIcon, int dpi);
  void Draw(const DRAWITEMSTRUCT& item);

 private:
  HICON glyph_ = nullptr;  // the window class's small icon, owned by the window
  UniqueIcon greyGlyph_;
};

}  // namespace calvorin::win32
