// Word-wrapped layout of one text with one highlighted segment, used by the results list both to
// measure an item and to draw it, so an item is always exactly as tall as it is drawn.
#pragma once

#include <string>
#include <string_view>

namespace calvorin {

struct FontStyle {
  bool bold = false;
  bool underline = false;
  bool operator==(const FontStyle&) const = default;
};

struct TextRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// What the layout needs from a drawing surface. The style set last applies to every later call.
class TextCanvas {
 public:
  virtual ~TextCanvas() = default;
  virtual void SetFontStyle(const FontStyle& style) = 0;
  virtual int TextWidth(std::string_view text) = 0;
  virtual int TextHeight(std::string_view text) = 0;
  virtual void DrawRun(int x, int y, std::string_view text) = 0;
};

// Characters after which the results list may wrap a line.
inline constexpr std::string_view kResultBreakChars = ";,\\/-";

// Lays `text` out word-wrapped in the column of `rect` and returns its height (at least
// `minimum`); draws it as well when `draw` is true. The `length` characters from 1-based
// `position` are drawn in `matchStyle`; position <= 0 or length <= 0 means no highlight.
// A token wider than the column is split; its first part goes on the line where the token
// begins, so no empty line is left. A line always takes at least one character, so a column
// narrower than one character still ends.
int DrawWrappedText(bool draw, TextCanvas& canvas, const TextRect& rect,
                    const FontStyle& matchStyle, int minimum, int length, int position,
                    std::string_view breaks, std::string_view text);

}  // namespace calvorin
