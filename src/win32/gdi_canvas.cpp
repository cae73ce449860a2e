#include "win32/gdi_canvas.h"

namespace calvorin::win32 {

GdiCanvas::GdiCanvas(HDC dc, HFONT normal, HFONT match)
    : dc_(dc), normal_(normal), match_(match), oldFont_(SelectObject(dc, normal)) {}

GdiCanvas::~GdiCanvas() {
  SelectObject(dc_, oldFont_);
}

void GdiCanvas::SetFontStyle(const FontStyle& style) {
  SelectObject(dc_, (style.bold || style.underline) ? match_ : normal_);
}

SIZE GdiCanvas::Extent(std::string_view text) {
  SIZE size{0, 0};
  if (text.empty()) {
    // GDI reports no height for an empty text; a line's height is the font's.
    TEXTMETRICA tm{};
    GetTextMetricsA(dc_, &tm);
    size.cy = tm.tmHeight;
    return size;
  }
  GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
  return size;
}

int GdiCanvas::TextWidth(std::string_view text) {
  return Extent(text).cx;
}

int GdiCanvas::TextHeight(std::string_view text) {
  return Extent(text).cy;
}

void GdiCanvas::DrawRun(int x, int y, std::string_view text) {
  const int oldMode = SetBkMode(dc_, TRANSPARENT);
  TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
  SetBkMode(dc_, oldMode);
}

}  // namespace calvorin::win32
