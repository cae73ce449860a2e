// TextCanvas over a GDI device context with a normal and a match font.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "scan/wrapped_text.h"

namespace calvorin::win32 {

// What GDI answered for texts already measured with one pair of fonts on the screen, so that the
// results list asks GDI once per distinct piece of text: a scan measures every token of every
// result, and under Wine each GetTextExtentPoint32A is a call into the font engine (about three
// microseconds; the same folder names come back thousands of times). Keyed by the text and the
// style it was measured in; emptied when the fonts change or it holds too many texts.
class TextExtentCache {
 public:
  // Forgets everything unless `normal` and `match` are the fonts it was filled with.
  void UseFonts(HFONT normal, HFONT match);
  std::optional<int> Width(bool match, std::string_view text) const;
  void KeepWidth(bool match, std::string_view text, int width);
  // The height GDI gives every non-empty text in the style (the font's cell height).
  std::optional<int> Height(bool match) const;
  void KeepHeight(bool match, int height);
  std::size_t Size() const { return widths_[0].size() + widths_[1].size(); }
  void Clear();

  // Beyond this many texts the cache starts again rather than grow without bound.
  static constexpr std::size_t kMaxTexts = 1u << 16;

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Map = std::unordered_map<std::string, int, Hash, std::equal_to<>>;
  HFONT normal_ = nullptr;
  HFONT match_ = nullptr;
  Map widths_[2];
  int heights_[2] = {-1, -1};
};

class GdiCanvas : public TextCanvas {
 public:
  // Fonts stay owned by the caller; the DC has the style's font from SetFontStyle on, and its own
  // font back when the canvas goes away. With a cache, widths and heights it holds for these
  // fonts are taken from it and new ones kept there.
  GdiCanvas(HDC dc, HFONT normal, HFONT match, TextExtentCache* cache = nullptr);
  // Measures on `window`'s DC, which it gets (and selects a font into) only when the cache cannot
  // answer; releases it when the canvas goes away.
  GdiCanvas(HWND window, HFONT normal, HFONT match, TextExtentCache* cache);
  ~GdiCanvas() override;
  GdiCanvas(const GdiCanvas&) = delete;
  GdiCanvas& operator=(const GdiCanvas&) = delete;

  void SetFontStyle(const FontStyle& style) override;
  int TextWidth(std::string_view text) override;
  int TextHeight(std::string_view text) override;
  void DrawRun(int x, int y, std::string_view text) override;

 private:
  SIZE Extent(std::string_view text);
  // The DC with the current style's font selected.
  HDC Dc();
  HWND window_ = nullptr;  // whose DC was got here and is released here
  HDC dc_;
  HFONT normal_;
  HFONT match_;
  HGDIOBJ oldFont_ = nullptr;
  HFONT selected_ = nullptr;
  TextExtentCache* cache_;
  bool matchStyle_ = false;
};

}  // namespace calvorin::win32
