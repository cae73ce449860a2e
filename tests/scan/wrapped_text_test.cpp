#include "scan/wrapped_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"

namespace calvorin {
namespace {

// Every character is 6 pixels wide in the normal style and 8 in bold; text is 13 pixels high.
class FixedCanvas : public TextCanvas {
 public:
  struct Run {
    int x, y;
    std::string text;
    bool bold, underline;
    bool operator==(const Run&) const = default;
  };
  void SetFontStyle(const FontStyle& style) override { style_ = style; }
  int TextWidth(std::string_view text) override {
    ++widthCalls;
    return static_cast<int>(text.size()) * (style_.bold ? 8 : 6);
  }
  int TextHeight(std::string_view) override { return 13; }
  void DrawRun(int x, int y, std::string_view text) override {
    runs.push_back({x, y, std::string(text), style_.bold, style_.underline});
  }
  std::vector<Run> runs;
  int widthCalls = 0;

 private:
  FontStyle style_;
};

const FontStyle kMatch{true, true};
constexpr int kLine = 15;  // text height 13 + 2

// A column with room for `chars` normal characters (the layout uses right - left - 1).
TextRect Column(int chars, int left = 98, int top = 0) {
  return {left, top, left + chars * 6 + 1, top + 100};
}

int Layout(FixedCanvas& c, const TextRect& r, int pos, int len, std::string_view text,
           int minimum = 18) {
  return DrawWrappedText(true, c, r, kMatch, minimum, len, pos, kResultBreakChars, text);
}

TEST(WrappedText, WrapsAfterEveryBreakCharacter) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;  // runs joined per line
  };
  // A column of 6 characters: each text has two tokens of which only one fits per line.
  const std::vector<Case> cases = {
      {"abcd;efgh", {"abcd;", "efgh"}},   {"abcd,efgh", {"abcd,", "efgh"}},
      {"abcd\\efgh", {"abcd\\", "efgh"}}, {"abcd/efgh", {"abcd/", "efgh"}},
      {"abcd-efgh", {"abcd-", "efgh"}},   {"abcd efgh", {"abcd ", "efgh"}},
      {"abcd\tefgh", {"abcd ", "efgh"}},  {"abcd\nefgh", {"abcd ", "efgh"}},
      {"abcd\refgh", {"abcd ", "efgh"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FixedCanvas canvas;
    const int h = Layout(canvas, Column(6), 0, 0, c.text);
    EXPECT_EQ(h, 2 * kLine);
    std::vector<std::string> lines;
    for (const auto& run : canvas.runs) {
      const std::size_t line = static_cast<std::size_t>(run.y / kLine);
      if (lines.size() <= line) lines.resize(line + 1);
      if (lines[line].empty()) {
        EXPECT_EQ(run.x, 98);
      }
      lines[line] += run.text;
    }
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(WrappedText, OtherCharactersDoNotBreak) {
  FixedCanvas canvas;
  Layout(canvas, Column(40), 0, 0, "a.b:c_d|e");
  ASSERT_EQ(canvas.runs.size(), 1u);
  EXPECT_EQ(canvas.runs[0].text, "a.b:c_d|e");
}

TEST(WrappedText, TokensShareALineWhileTheyFit) {
  FixedCanvas canvas;
  const int h = Layout(canvas, Column(12), 0, 0, "ab\\cd\\efgh\\ij");
  // "ab\" "cd\" "efgh\" = 12 characters on line 1, "ij" on line 2.
  const std::vector<FixedCanvas::Run> expected = {{98, 0, "ab\\", false, false},
                                                  {116, 0, "cd\\", false, false},
                                                  {134, 0, "efgh\\", false, false},
                                                  {98, kLine, "ij", false, false}};
  EXPECT_EQ(canvas.runs, expected);
  EXPECT_EQ(h, 2 * kLine);
}

TEST(WrappedText, MatchIsItsOwnTokenInTheMatchStyle) {
  FixedCanvas canvas;
  // "C:\" at position 5, length 2 (":\").
  const int h = Layout(canvas, Column(40, 10, 20), 6, 2, "abc C:\\dir\\x.exe");
  const std::vector<FixedCanvas::Run> expected = {
      {10, 20, "abc ", false, false},  {34, 20, "C", false, false},     {40, 20, ":\\", true, true},
      {56, 20, "dir\\", false, false}, {80, 20, "x.exe", false, false},
  };
  EXPECT_EQ(canvas.runs, expected);
  EXPECT_EQ(h, 18);  // one line of 15 is raised to the minimum
}

TEST(WrappedText, MatchAtTheStartOrEndGivesNoEmptyTokens) {
  FixedCanvas canvas;
  Layout(canvas, Column(40), 1, 2, ":\\");
  ASSERT_EQ(canvas.runs.size(), 1u);
  EXPECT_EQ(canvas.runs[0].text, ":\\");
  EXPECT_TRUE(canvas.runs[0].bold);
}

TEST(WrappedText, NoMatchWhenPositionOrLengthIsNotPositive) {
  for (auto [pos, len] : {std::pair{0, 2}, std::pair{3, 0}, std::pair{-1, 2}}) {
    FixedCanvas canvas;
    Layout(canvas, Column(40), pos, len, "C:\\x");
    ASSERT_EQ(canvas.runs.size(), 2u);
    for (const auto& r : canvas.runs) EXPECT_FALSE(r.bold);
  }
}

TEST(WrappedText, MeasuringDrawsNothingAndGivesTheSameHeight) {
  const std::string text = "hkey_local_machine\\software\\classes\\clsid\\{0000}\\inprocserver32";
  for (int chars : {3, 10, 20, 70}) {
    FixedCanvas drawn, measured;
    const int hd = Layout(drawn, Column(chars), 19, 2, text);
    const int hm =
        DrawWrappedText(false, measured, Column(chars), kMatch, 18, 2, 19, kResultBreakChars, text);
    EXPECT_EQ(hd, hm) << chars;
    EXPECT_TRUE(measured.runs.empty());
    EXPECT_FALSE(drawn.runs.empty());
  }
}

TEST(WrappedText, HeightIsAtLeastTheMinimum) {
  FixedCanvas canvas;
  EXPECT_EQ(Layout(canvas, Column(40), 0, 0, "short"), 18);
  EXPECT_EQ(Layout(canvas, Column(40), 0, 0, "short", 0), kLine);
  EXPECT_EQ(Layout(canvas, Column(40), 0, 0, ""), 18);
  EXPECT_EQ(Layout(canvas, Column(40), 0, 0, "", 0), kLine);  // an empty text still takes a line
}

TEST(WrappedText, TokenWiderThanALineStartsOnItsOwnLine) {
  FixedCanvas canvas;
  // Column of 5: "ab\" fits, "cdefghijklm" (11 chars) does not fit any line.
  const int h = Layout(canvas, Column(5), 0, 0, "ab\\cdefghijklm");
  const std::vector<FixedCanvas::Run> expected = {
      {98, 0, "ab\\", false, false},
      {98, kLine, "cdefg", false, false},
      {98, 2 * kLine, "hijkl", false, false},
      {98, 3 * kLine, "m", false, false},
  };
  EXPECT_EQ(canvas.runs, expected);
  EXPECT_EQ(h, 4 * kLine);
}

TEST(WrappedText, WideTokenAtTheStartIsSplitWithoutAnEmptyLine) {
  FixedCanvas canvas;
  const int h = Layout(canvas, Column(4), 0, 0, "abcdefghij");
  const std::vector<FixedCanvas::Run> expected = {{98, 0, "abcd", false, false},
                                                  {98, kLine, "efgh", false, false},
                                                  {98, 2 * kLine, "ij", false, false}};
  EXPECT_EQ(canvas.runs, expected);
  EXPECT_EQ(h, 3 * kLine);
}

TEST(WrappedText, WideMatchKeepsItsStyleInEveryPart) {
  FixedCanvas canvas;
  // Bold characters are 8 wide; a 4-character column (24 px) holds 3 of them.
  Layout(canvas, Column(4), 1, 7, "abcdefg");
  ASSERT_EQ(canvas.runs.size(), 3u);
  EXPECT_EQ(canvas.runs[0].text, "abc");
  EXPECT_EQ(canvas.runs[1].text, "def");
  EXPECT_EQ(canvas.runs[2].text, "g");
  for (const auto& r : canvas.runs) EXPECT_TRUE(r.bold && r.underline);
}

// Code page 932: the second byte of 83 5C is no backslash to break after, and a split never
// parts 83 41.
TEST(WrappedText, TwoByteCharactersStayWhole) {
  SetLeadByteTest([](unsigned char b) { return b >= 0x81 && b <= 0x9F; });
  FixedCanvas canvas;
  EXPECT_EQ(Layout(canvas, Column(4), 0, 0, "\x83\x5C" "a\x83\x41" "b"), 2 * kLine);
  SetLeadByteTest(nullptr);
  ASSERT_EQ(canvas.runs.size(), 2u);
  EXPECT_EQ(canvas.runs[0].text + "|" + canvas.runs[1].text, "\x83\x5C" "a|\x83\x41" "b");
}

TEST(WrappedText, ColumnNarrowerThanOneCharacterEnds) {
  for (int right : {98, 99, 100, 103, 40}) {  // widths -59 .. 4 pixels, all below one character
    FixedCanvas canvas;
    const int h = Layout(canvas, {98, 0, right, 0}, 2, 2, "abc\\def");
    std::string drawn;
    for (const auto& r : canvas.runs) drawn += r.text;
    EXPECT_EQ(drawn, "abc\\def") << right;
    EXPECT_EQ(h, 7 * kLine) << right;  // one character per line
  }
}

}  // namespace
}  // namespace calvorin

namespace calvorin {
namespace {

// Widths that are not a sum of character widths: every character has its own width, bold adds
// one, and some pairs kern; an empty text has a height of its own, as GDI's font height differs
// from a run's.
class KernedCanvas : public TextCanvas {
 public:
  void SetFontStyle(const FontStyle& style) override { style_ = style; }
  int TextWidth(std::string_view text) override {
    int w = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      w += 4 + c % 5 + (style_.bold ? 1 : 0);
      if (i > 0 && text[i - 1] == 'A' && c == 'V') w -= 2;
    }
    return w + static_cast<int>(text.size() > 3);
  }
  int TextHeight(std::string_view text) override { return text.empty() ? 16 : 13; }
  void DrawRun(int, int, std::string_view) override { ++draws; }
  int draws = 0;

 private:
  FontStyle style_;
};

const std::vector<std::string>& WrapTexts() {
  static const std::vector<std::string> texts = {
      "",
      "x",
      "HKEY_CURRENT_USER\\Software\\CalvorinInvalid\\Set00042",
      "C:\\CalvorinGone\\Folder0001\\missing000042.exe",
      "AVAV;AV,AV\\AV/AV-AV AV\tAV\nAV\rAV",
      "a;;;b,,,c\\\\\\d///e---f   g",
      "averyveryverylongtokenwithoutanybreakcharacteratallthatwillnotfitnarrowcolumns\\x",
      "\"C:\\Program Files\\Some Vendor\\Tool\\tool.exe\" /quiet /norestart -x",
      "trailing tab\t",
      "(default)",
  };
  return texts;
}

TEST(WrapWidthsTest, HeightMatchesTheCanvasAtEveryWidth) {
  const FontStyle match{true, true};
  int arithmetic = 0;
  int deferred = 0;
  for (const std::string& text : WrapTexts()) {
    const int size = static_cast<int>(text.size());
    for (auto [pos, len] : {std::pair{0, 0}, std::pair{1, 2}, std::pair{2, 2},
                            std::pair{size / 2, 5}, std::pair{size, 1}, std::pair{3, size}}) {
      KernedCanvas canvas;
      WrapWidths widths;
      const std::size_t index = widths.Add(canvas, match, len, pos, kResultBreakChars, text);
      EXPECT_EQ(canvas.draws, 0);
      for (int width = -3; width <= 420; ++width) {
        const TextRect column{98, 0, 98 + width + 1, 0};
        for (int minimum : {0, 18}) {
          const auto cached = widths.Height(index, column, minimum);
          const int direct = DrawWrappedText(false, canvas, column, match, minimum, len, pos,
                                             kResultBreakChars, text);
          // A layout of one line split nothing, so it never needs the canvas.
          const int oneLine = (text.empty() ? 16 : 13) + 2;
          if (minimum == 0 && direct == oneLine) {
            ASSERT_TRUE(cached.has_value()) << text << " width " << width;
          }
          if (cached) {
            ++arithmetic;
            ASSERT_EQ(*cached, direct)
                << text << " pos " << pos << " len " << len << " width " << width;
          } else {
            ++deferred;
          }
        }
      }
    }
  }
  // Both ways are taken: narrow columns need the canvas.
  EXPECT_GT(arithmetic, 0);
  EXPECT_GT(deferred, 0);
}

// The canvas is needed exactly when a token of several characters is wider than the column at
// the start of a line.
TEST(WrapWidthsTest, DefersOnlyWhenATokenMustBeSplit) {
  FixedCanvas canvas;
  WrapWidths widths;
  widths.Add(canvas, kMatch, 0, 0, kResultBreakChars, "ab\\cdefgh\\i");  // 3, 7 and 1 wide
  widths.Add(canvas, kMatch, 0, 0, kResultBreakChars, "\\\\x");          // 1, 1 and 1 wide
  EXPECT_EQ(widths.Height(0, Column(11), 0), std::optional<int>(kLine));
  EXPECT_EQ(widths.Height(0, Column(10), 0), std::optional<int>(2 * kLine));
  EXPECT_EQ(widths.Height(0, Column(7), 0), std::optional<int>(3 * kLine));
  EXPECT_EQ(widths.Height(0, Column(6), 0), std::nullopt);
  // A one-character token overflows its line instead of being split.
  EXPECT_EQ(widths.Height(1, Column(0), 0), std::optional<int>(3 * kLine));
  EXPECT_EQ(widths.Height(1, Column(0), 0),
            DrawWrappedText(false, canvas, Column(0), kMatch, 0, 0, 0, kResultBreakChars, "\\\\x"));
}

TEST(WrapWidthsTest, WidthsTooLargeToKeepGoBackToTheCanvas) {
  FixedCanvas canvas;
  WrapWidths widths;
  const std::string wide(6000, 'w');  // 36,000 pixels
  widths.Add(canvas, kMatch, 0, 0, kResultBreakChars, wide);
  EXPECT_EQ(widths.Height(0, Column(7000), 0), std::nullopt);
  EXPECT_EQ(DrawWrappedText(false, canvas, Column(7000), kMatch, 0, 0, 0, kResultBreakChars, wide),
            kLine);
}

TEST(WrapWidthsTest, TruncateAndClearKeepTheRest) {
  FixedCanvas canvas;
  WrapWidths widths;
  widths.Add(canvas, kMatch, 0, 0, kResultBreakChars, "abc\\def");
  widths.Add(canvas, kMatch, 0, 0, kResultBreakChars, "abcdefghijkl\\mnop\\qrs");
  widths.Add(canvas, kMatch, 0, 0, kResultBreakChars, "x");
  ASSERT_EQ(widths.Size(), 3u);
  widths.Truncate(5);
  EXPECT_EQ(widths.Size(), 3u);
  widths.Truncate(1);
  ASSERT_EQ(widths.Size(), 1u);
  EXPECT_EQ(widths.Add(canvas, kMatch, 0, 0, kResultBreakChars, "a\\b\\c\\d"), 1u);
  EXPECT_EQ(widths.Height(0, Column(4), 0), std::optional<int>(2 * kLine));
  EXPECT_EQ(widths.Height(1, Column(4), 0), std::optional<int>(2 * kLine));
  widths.Clear();
  EXPECT_EQ(widths.Size(), 0u);
  EXPECT_EQ(widths.Add(canvas, kMatch, 0, 0, kResultBreakChars, "abc"), 0u);
  EXPECT_EQ(widths.Height(0, Column(40), 18), std::optional<int>(18));
}

}  // namespace
}  // namespace calvorin
