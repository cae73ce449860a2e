#include "app/win/owner_drawn.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/win/font.h"

namespace calvorin::win32 {
namespace {

// A grey copy of an icon, alpha and mask kept, lightened as disabled glyphs are; null when the
// icon cannot be read.
HICON GreyedIcon(HICON icon) {
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return nullptr;
  // GetIconInfo hands over copies of both bitmaps.
  const UniqueGdiObject colorBits(info.hbmColor), maskBits(info.hbmMask);
  BITMAP bm{};
  if (!info.hbmColor || !GetObjectA(info.hbmColor, sizeof bm, &bm)) return nullptr;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = bm.bmWidth;
  bi.bmiHeader.biHeight = -bm.bmHeight;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
  const WindowDc screen(nullptr);
  if (!GetDIBits(screen.get(), info.hbmColor, 0, bm.bmHeight, pixels.data(), &bi, DIB_RGB_COLORS)) {
    return nullptr;
  }
  // Without an alpha channel the mask says what is drawn, and the colour is taken as opaque.
  const bool hasAlpha = bm.bmBitsPixel == 32 &&
                        std::any_of(pixels.begin(), pixels.end(), [](DWORD p) { return p >> 24; });
  for (DWORD& p : pixels) {
    const DWORD a = hasAlpha ? p >> 24 : 255;
    // Premultiplied colour: the grey is lightened by the same share of alpha.
    const DWORD lum = (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100;
    const DWORD g = (lum + a) / 2;
    p = ((hasAlpha ? a : 0) << 24) | (g << 16) | (g << 8) | g;
  }
  void* bits = nullptr;
  // CreateIconIndirect copies the bitmap.
  const UniqueGdiObject color(
      CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!color) return nullptr;
  std::copy(pixels.begin(), pixels.end(), static_cast<DWORD*>(bits));
  ICONINFO greyInfo = info;
  greyInfo.hbmColor = static_cast<HBITMAP>(color.get());
  return CreateIconIndirect(&greyInfo);
}

}  // namespace

bool HighContrastOn() {
  HIGHCONTRASTA contrast{sizeof contrast, 0, nullptr};
  return SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

void Banner::Restyle(bool highContrast) {
  highContrast_ = highContrast;
  bitmap_.reset();
}

void Banner::Load(HICON icon, int dpi) {
  dpi_ = dpi;
  icon_.reset(icon);
  bitmap_.reset();  // painted again at the new scale
}

void Banner::Draw(const DRAWITEMSTRUCT& item, HFONT font) {
  const RECT& r = item.rcItem;
  const SIZE size{r.right - r.left, r.bottom - r.top};
  if (size.cx <= 0 || size.cy <= 0) return;
  UniqueMemoryDc memory(CreateCompatibleDC(item.hDC));
  if (!memory) {
    Paint(item.hDC, r, font);
    return;
  }
  const bool fresh = !bitmap_ || size_.cx != size.cx || size_.cy != size.cy;
  if (fresh) {
    bitmap_.reset(CreateCompatibleBitmap(item.hDC, size.cx, size.cy));
    size_ = bitmap_ ? size : SIZE{0, 0};
  }
  if (!bitmap_) {
    Paint(item.hDC, r, font);
    return;
  }
  const SelectedObject selected(memory.get(), bitmap_.get());
  if (fresh) Paint(memory.get(), RECT{0, 0, size.cx, size.cy}, font);
  BitBlt(item.hDC, r.left, r.top, size.cx, size.cy, memory.get(), 0, 0, SRCCOPY);
}

void Banner::Paint(HDC dc, const RECT& r, HFONT font) {
  const int height = r.bottom - r.top;
  // Under a high-contrast theme the banner is the theme's window with its text colour.
  const bool highContrast = highContrast_;
  if (highContrast) FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
  for (int y = 0; y < height && !highContrast; ++y) {
    const int t = y * 255 / std::max(height - 1, 1);
    UniqueGdiObject brush(CreateSolidBrush(RGB(20 + t / 8, 60 + t / 4, 140 + t / 3)));
    RECT line{r.left, r.top + y, r.right, r.top + y + 1};
    FillRect(dc, &line, static_cast<HBRUSH>(brush.get()));
  }
  if (icon_) {
    DrawIconEx(dc, r.left + Scale(18), r.top + Scale(18), icon_.get(), Scale(48), Scale(48), 0,
               nullptr, DI_NORMAL);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, highContrast ? GetSysColor(COLOR_WINDOWTEXT) : RGB(255, 255, 255));
  const UniqueGdiObject title(MakeFont(Scale(36), FW_BOLD, false));
  {
    const SelectedObject selected(dc, title.get());
    TextOutA(dc, r.left + Scale(80), r.top + Scale(14), "Calvorin", 8);
  }
  const SelectedObject selected(dc, font);
  SetTextColor(dc, highContrast ? GetSysColor(COLOR_WINDOWTEXT) : RGB(220, 232, 255));
  const char* tagline = "Finds registry entries that point at missing files and folders";
  TextOutA(dc, r.left + Scale(82), r.top + Scale(60), tagline, static_cast<int>(strlen(tagline)));
}

void SearchButtonFace::Load(HICON smallIcon, int dpi) {
  glyph_ = smallIcon;
  greyGlyph_.reset(GreyedIcon(smallIcon));
  dpi_ = dpi;
}

void SearchButtonFace::Draw(const DRAWITEMSTRUCT& item) {
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  RECT r = item.rcItem;
  // The face as the other buttons draw theirs: themed where a theme is active, and the caption
  // in the colour that goes with the face: the theme's, else the colour scheme's button text
  // (the DC comes with black, which a high-contrast scheme's dark face would hide).
  COLORREF textColour = GetSysColor(COLOR_BTNTEXT);
  if (HTHEME theme = OpenThemeData(item.hwndItem, L"BUTTON")) {
    const int state = disabled ? PBS_DISABLED : pushed ? PBS_PRESSED : PBS_NORMAL;
    if (IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, state))
      DrawThemeParentBackground(item.hwndItem, item.hDC, &r);
    DrawThemeBackground(theme, item.hDC, BP_PUSHBUTTON, state, &r, nullptr);
    GetThemeColor(theme, BP_PUSHBUTTON, state, TMT_TEXTCOLOR, &textColour);
    CloseThemeData(theme);
  } else {
    DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  }
  const int shift = pushed ? 1 : 0;
  char text[64] = "";
  GetWindowTextA(item.hwndItem, text, sizeof text);
  SIZE extent{};
  GetTextExtentPoint32A(item.hDC, text, lstrlenA(text), &extent);
  // The small icon's size at the window's DPI, which the system metrics know only at its own.
  const int cx = Scale(16), cy = cx;
  const int gap = Scale(2);
  // The glyph and the text (its "&" not counted) centred together, as the button draws them.
  SIZE amp{};
  GetTextExtentPoint32A(item.hDC, "&", 1, &amp);
  const int width = cx + gap + extent.cx - (std::strchr(text, '&') ? amp.cx : 0);
  const int left = (r.left + r.right - width) / 2 + shift;
  const int middle = (r.top + r.bottom) / 2 + shift;
  HICON glyph = disabled && greyGlyph_ ? greyGlyph_.get() : glyph_;
  if (glyph) DrawIconEx(item.hDC, left, middle - cy / 2, glyph, cx, cy, 0, nullptr, DI_NORMAL);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, textColour);
  const UINT hidePrefix = (item.itemState & ODS_NOACCEL) ? DSS_HIDEPREFIX : 0;
  DrawStateA(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(text), 0, left + cx + gap,
             middle - extent.cy / 2, 0, 0,
             DST_PREFIXTEXT | hidePrefix | (disabled ? DSS_DISABLED : DSS_NORMAL));
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
    const int inset = Scale(3);
    InflateRect(&r, -inset, -inset);
    DrawFocusRect(item.hDC, &r);
  }
}

}  // namespace calvorin::win32
