#include "scan/wrapped_text.h"

#include <algorithm>
#include <deque>

#include "base/text.h"

namespace calvorin {
namespace {

struct Token {
  std::string text;
  bool match = false;
};

// Cuts `part` after every break character (never after the first byte of a two-byte character,
// nor after a second byte that has a break character's value); the last token may end without
// one.
void CutTokens(std::string_view part, std::string_view breaks, std::deque<Token>& out) {
  const LeadByteTest lead = CurrentLeadByteTest();
  std::size_t start = 0;
  for (std::size_t i = 0; i < part.size(); ++i) {
    if (CharSize(part, i, lead) == 2) {
      ++i;
    } else if (breaks.find(part[i]) != std::string_view::npos) {
      out.push_back({std::string(part.substr(start, i + 1 - start)), false});
      start = i + 1;
    }
  }
  if (start < part.size()) out.push_back({std::string(part.substr(start)), false});
}

bool IsSpaceLike(char c) {
  return c == '\t' || c == '\n' || c == '\r';
}

// Where each character of `token` ends, in bytes: a two-byte character is never split.
std::vector<std::size_t> CharacterEnds(std::string_view token) {
  const LeadByteTest lead = CurrentLeadByteTest();
  std::vector<std::size_t> ends;
  for (std::size_t i = 0; i < token.size();) {
    i += CharSize(token, i, lead);
    ends.push_back(i);
  }
  return ends;
}

// Bytes in the longest prefix of `token` whose width fits in `width`, but never fewer than one
// character.
std::size_t FittingPrefix(TextCanvas& canvas, const std::string& token, int width, int tokenWidth) {
  const std::vector<std::size_t> ends = CharacterEnds(token);
  const std::size_t size = ends.size();
  long long estimate = tokenWidth > 0
                           ? static_cast<long long>(size) * std::max(width, 0) / tokenWidth
                           : static_cast<long long>(size);
  std::size_t n = static_cast<std::size_t>(std::clamp<long long>(estimate, 1, size));
  const std::string_view text(token);
  while (n < size && canvas.TextWidth(text.substr(0, ends[n])) <= width) ++n;
  while (n > 1 && canvas.TextWidth(text.substr(0, ends[n - 1])) > width) --n;
  return ends[n - 1];
}

// The tokens of `text` in layout order, the match token marked.
std::deque<Token> Tokenize(int length, int position, std::string_view breaks,
                           std::string_view text) {
  std::string allBreaks(breaks);
  for (char c : {' ', '\t', '\n', '\r'}) {
    if (allBreaks.find(c) == std::string::npos) allBreaks.push_back(c);
  }

  std::deque<Token> tokens;
  if (position <= 0 || length <= 0) {
    CutTokens(text, allBreaks, tokens);
    if (tokens.empty()) tokens.push_back({std::string(), false});
  } else {
    CutTokens(Copy(text, 1, position - 1), allBreaks, tokens);
    tokens.push_back({Copy(text, position, length), true});
    const std::string after = Copy(text, position + length, static_cast<int>(text.size()) + 1);
    CutTokens(after, allBreaks, tokens);
  }
  return tokens;
}

constexpr std::uint16_t kSplittable = 0x8000;
constexpr std::uint16_t kSaturated = 0x7FFF;

}  // namespace

int DrawWrappedText(bool draw, TextCanvas& canvas, const TextRect& rect,
                    const FontStyle& matchStyle, int minimum, int length, int position,
                    std::string_view breaks, std::string_view text) {
  std::deque<Token> tokens = Tokenize(length, position, breaks, text);

  const FontStyle normal;
  canvas.SetFontStyle(normal);
  const int lineHeight = canvas.TextHeight(text) + 2;
  const int width = rect.right - rect.left - 1;
  int x = 0;
  int y = 0;
  int height = 0;
  while (!tokens.empty()) {
    Token& token = tokens.front();
    if (token.match) canvas.SetFontStyle(matchStyle);
    if (!token.text.empty() && IsSpaceLike(token.text.back())) token.text.back() = ' ';
    int w = canvas.TextWidth(token.text);
    if (x == 0) height += lineHeight;
    if (x == 0 && w > width && token.text.size() > 1) {
      const std::size_t n = FittingPrefix(canvas, token.text, width, w);
      if (n < token.text.size()) {
        Token rest{token.text.substr(n), token.match};
        token.text.resize(n);
        w = canvas.TextWidth(token.text);
        tokens.insert(tokens.begin() + 1, std::move(rest));
      }
    }
    // A token at the start of a line stays there even when it overflows, or a column narrower
    // than one character would never end.
    if (x > 0 && x + w > width) {
      y += lineHeight;
      x = 0;
      canvas.SetFontStyle(normal);
      continue;
    }
    if (draw) canvas.DrawRun(rect.left + x, rect.top + y, token.text);
    x += w;
    if (token.match) canvas.SetFontStyle(normal);
    tokens.pop_front();
  }
  return std::max(height, minimum);
}

std::size_t WrapWidths::Add(TextCanvas& canvas, const FontStyle& matchStyle, int length,
                            int position, std::string_view breaks, std::string_view text) {
  std::deque<Token> tokens = Tokenize(length, position, breaks, text);
  const FontStyle normal;
  canvas.SetFontStyle(normal);
  const int lineHeight = canvas.TextHeight(text) + 2;
  // Anything the two bytes cannot hold (negative or too large) sends Height() to the canvas.
  auto keep = [](int value) {
    return static_cast<std::uint16_t>(value < 0 || value > kSaturated ? kSaturated : value);
  };
  values_.push_back(keep(lineHeight));
  const LeadByteTest lead = CurrentLeadByteTest();
  for (Token& token : tokens) {
    if (token.match) canvas.SetFontStyle(matchStyle);
    if (!token.text.empty() && IsSpaceLike(token.text.back())) token.text.back() = ' ';
    const std::uint16_t w = keep(canvas.TextWidth(token.text));
    if (token.match) canvas.SetFontStyle(normal);
    const bool splittable =
        !token.text.empty() && token.text.size() > CharSize(token.text, 0, lead);
    values_.push_back(static_cast<std::uint16_t>(w | (splittable ? kSplittable : 0)));
  }
  ends_.push_back(static_cast<std::uint32_t>(values_.size()));
  return ends_.size() - 1;
}

std::optional<int> WrapWidths::Height(std::size_t index, const TextRect& rect, int minimum) const {
  const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
  const std::size_t end = ends_[index];
  const int lineHeight = values_[begin];
  if (lineHeight == kSaturated) return std::nullopt;
  const int width = rect.right - rect.left - 1;
  int x = 0;
  int height = 0;
  // DrawWrappedText's loop without the drawing: a token that does not fit after others starts
  // the next line, where it stays even when it overflows, unless it can be split.
  for (std::size_t i = begin + 1; i < end; ++i) {
    const int w = values_[i] & kSaturated;
    if (w == kSaturated) return std::nullopt;
    if (x > 0 && x + w > width) x = 0;
    if (x == 0) {
      height += lineHeight;
      if (w > width && (values_[i] & kSplittable)) return std::nullopt;
    }
    x += w;
  }
  return std::max(height, minimum);
}

void WrapWidths::Truncate(std::size_t count) {
  if (count >= ends_.size()) return;
  values_.resize(count == 0 ? 0 : ends_[count - 1]);
  ends_.resize(count);
}

void WrapWidths::Clear() {
  values_ = {};
  ends_ = {};
}

}  // namespace calvorin
