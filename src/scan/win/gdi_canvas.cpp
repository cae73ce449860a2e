#include "scan/win/gdi_canvas.h"

namespace calvorin::win32 {

void TextExtentCache::UseFonts(HFONT normal, HFONT match) {
  if (normal == normal_ && match == match_) return;
  Clear();
  normal_ = normal;
  match_ = match;
}

std::optional<int> TextExtentCache::Width(bool match, std::string_view text) const {
  const Map& map = widths_[match ? 1 : 0];
  const auto it = map.find(text);
  if (it == map.end()) return std::nullopt;
  return it->second;
}

void TextExtentCache::KeepWidth(bool match, std::string_view text, int width) {
  if (Size() >= kMaxTexts) {
    widths_[0].clear();
    widths_[1].clear();
  }
  widths_[match ? 1 : 0].emplace(std::string(text), width);
}

std::optional<int> TextExtentCache::Height(bool match) const {
  const int height = heights_[match ? 1 : 0];
  if (height < 0) return std::nullopt;
  return height;
}

void TextExtentCache::KeepHeight(bool match, int height) {
  if (height >= 0) heights_[match ? 1 : 0] = height;
}

void TextExtentCache::Clear() {
  widths_[0].clear();
  widths_[1].clear();
  heights_[0] = heights_[1] = -1;
}

GdiCanvas::GdiCanvas(HDC dc, HFONT normal, HFONT match, TextExtentCache* cache)
    : dc_(dc), normal_(normal), match_(match), cache_(cache) {
  if (cache_) cache_->UseFonts(normal_, match_);
  Dc();
}

GdiCanvas::GdiCanvas(HWND window, HFONT normal, HFONT match, TextExtentCache* cache)
    : window_(window), dc_(nullptr), normal_(normal), match_(match), cache_(cache) {
  if (cache_) cache_->UseFonts(normal_, match_);
}

GdiCanvas::~GdiCanvas() {
  if (!dc_) return;
  if (selected_) SelectObject(dc_, oldFont_);
  if (window_) ReleaseDC(window_, dc_);
}

HDC GdiCanvas::Dc() {
  if (!dc_ && window_) dc_ = GetDC(window_);
  if (!dc_) return nullptr;
  const HFONT font = matchStyle_ ? match_ : normal_;
  if (font != selected_) {
    const HGDIOBJ old = SelectObject(dc_, font);
    if (!selected_) oldFont_ = old;
    selected_ = font;
  }
  return dc_;
}

void GdiCanvas::SetFontStyle(const FontStyle& style) {
  matchStyle_ = style.bold || style.underline;
  // The caller's DC gets the font at once: the caller may draw with it too. A DC of our own gets
  // it when GDI is next asked, as cached measurements need none.
  if (!window_) Dc();
}

SIZE GdiCanvas::Extent(std::string_view text) {
  SIZE size{0, 0};
  HDC dc = Dc();
  if (text.empty()) {
    // GDI reports no height for an empty text; a line's height is the font's.
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    size.cy = tm.tmHeight;
    return size;
  }
  GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
  return size;
}

int GdiCanvas::TextWidth(std::string_view text) {
  if (!cache_) return Extent(text).cx;
  if (const auto known = cache_->Width(matchStyle_, text)) return *known;
  const SIZE size = Extent(text);
  cache_->KeepWidth(matchStyle_, text, size.cx);
  if (!text.empty()) cache_->KeepHeight(matchStyle_, size.cy);
  return size.cx;
}

int GdiCanvas::TextHeight(std::string_view text) {
  if (!cache_ || text.empty()) return Extent(text).cy;
  if (const auto known = cache_->Height(matchStyle_)) return *known;
  const SIZE size = Extent(text);
  cache_->KeepHeight(matchStyle_, size.cy);
  return size.cy;
}

void GdiCanvas::DrawRun(int x, int y, std::string_view text) {
  HDC dc = Dc();
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
  SetBkMode(dc, oldMode);
}

}  // namespace calvorin::win32
