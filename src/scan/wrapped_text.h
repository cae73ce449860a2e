// Word-wrapped layout of one text with one highlighted segment, used by the results list both to
// measure an item and to draw it, so an item is always exactly as tall as it is drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
// begins, so no empty line is left. Lines break between characters of the code page that
// CurrentLeadByteTest names, never inside a two-byte one. A line always takes at least one character, so a column
// narrower than one character still ends.
int DrawWrappedText(bool draw, TextCanvas& canvas, const TextRect& rect,
                    const FontStyle& matchStyle, int minimum, int length, int position,
                    std::string_view breaks, std::string_view text);

// What DrawWrappedText's measurement of a text does not owe to the column: its line height and
// the width of each of its tokens, measured once, so that its height at another column width is
// arithmetic. Two bytes a token.
class WrapWidths {
 public:
  // Measures one text as DrawWrappedText(false, canvas, rect, matchStyle, minimum, length,
  // position, breaks, text) does, at any rect and minimum; returns the text's number here.
  // Leaves the canvas in the normal style.
  std::size_t Add(TextCanvas& canvas, const FontStyle& matchStyle, int length, int position,
                  std::string_view breaks, std::string_view text);
  // DrawWrappedText(false, ...)'s height of text `index` in the column of `rect`, at least
  // `minimum`; nullopt when the layout needs the canvas after all (a token wider than the
  // column is split at a width only the canvas can tell).
  std::optional<int> Height(std::size_t index, const TextRect& rect, int minimum) const;

  std::size_t Size() const { return ends_.size(); }
  // Keeps texts 0 .. count - 1.
  void Truncate(std::size_t count);
  void Clear();

 private:
  // Per text: its line height, then one value per token: bit 15 set when the token has more than
  // one character (so it may be split), bits 0..14 its width; kSaturated stands for a width too
  // large to keep, which sends Height() back to the canvas.
  std::vector<std::uint16_t> values_;
  std::vector<std::uint32_t> ends_;  // the end of each text's values
};

}  // namespace calvorin
