// TextCanvas over a GDI device context with a normal and a match font.
#pragma once

#include <windows.h>

#include "core/wrapped_text.h"

namespace calvorin::win32 {

class GdiCanvas : public TextCanvas {
 public:
  // Fonts stay owned by the caller; the DC's font is put back when the canvas goes away.
  GdiCanvas(HDC dc, HFONT normal, HFONT match);
  ~GdiCanvas() override;
  GdiCanvas(const GdiCanvas&) = delete;
  GdiCanvas& operator=(const GdiCanvas&) = delete;

  void SetFontStyle(const FontStyle& style) override;
  int TextWidth(std::string_view text) override;
  int TextHeight(std::string_view text) override;
  void DrawRun(int x, int y, std::string_view text) override;

 private:
  SIZE Extent(std::string_view text);
  HDC dc_;
  HFONT normal_;
  HFONT match_;
  HGDIOBJ oldFont_;
};

}  // namespace calvorin::win32
