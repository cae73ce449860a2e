// Heights from widths measured once against heights measured at each width, with the results
// list's real fonts on a real device context: the arithmetic must agree with GDI exactly.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/win/font.h"
#include "base/win/unique_handle.h"
#include "scan/win/gdi_canvas.h"
#include "scan/wrapped_text.h"

namespace calvorin::win32 {
namespace {

struct Sample {
  std::string text;
  int position, length;
};

std::vector<Sample> Samples() {
  const std::string longKey =
      "HKEY_CURRENT_USER\\software\\calvortests\\e2e\\a fairly long key name\\"
      "with several levels\\below it\\so that it wraps\\inprocserver32";
  return {
      {"HKEY_CURRENT_USER\\Software\\CalvorinInvalid\\Set00042", 0, 0},
      {longKey, 0, 0},
      {longKey, 20, 2},
      {"Entry042", 0, 0},
      {"(default)", 0, 0},
      {"", 0, 0},
      {"C:\\CalvorinGone\\Folder0001\\missing000042.exe", 2, 2},
      {"\"C:\\Program Files\\Removed Tool\\uninstall.exe\" /uninstall -quiet", 3, 2},
      {"C:\\Users\\x\\Documents\\old report.doc\x85\xBB", 2, 2},
      {"\x97\x97", 0, 0},
      {"WWWWWWWWWWiiiiiiiiiiAVAVAVAVAVTTTTTTTyyyyyyy;ffffffffflllllllll", 0, 0},
      {"C:\\tab\there\nand\rreturns;commas,slashes/dashes-end", 2, 2},
      {"C:\\AVeryLongFolderNameWithoutAnyBreakCharacterInItAtAllWhatsoever\\x.exe", 2, 2},
      {"the whole text is the match C:\\x", 1, 32},
  };
}

TEST(WrapWidthsGdiTest, HeightsEqualDirectMeasurementWithTheListFonts) {
  // The results list's fonts: Arial with a 13-pixel character height, the match bold and
  // underlined.
  UniqueGdiObject normal(MakeFont(13, FW_NORMAL, false));
  UniqueGdiObject match(MakeFont(13, FW_BOLD, true));
  ASSERT_TRUE(normal.get() && match.get());
  HDC dc = GetDC(nullptr);
  ASSERT_NE(dc, nullptr);
  const FontStyle matchStyle{true, true};
  int arithmetic = 0;
  {
    GdiCanvas canvas(dc, static_cast<HFONT>(normal.get()), static_cast<HFONT>(match.get()));
    WrapWidths widths;
    const std::vector<Sample> samples = Samples();
    for (const Sample& s : samples) {
      widths.Add(canvas, matchStyle, s.length, s.position, kResultBreakChars, s.text);
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const Sample& s = samples[i];
      // From narrower than a character to wider than the screen, as the list's column can be.
      for (int width = -2; width <= 900; width += (width < 120 ? 1 : 7)) {
        const TextRect column{98, 0, 98 + width + 1, 0};
        const auto cached = widths.Height(i, column, 18);
        const int direct = DrawWrappedText(false, canvas, column, matchStyle, 18, s.length,
                                           s.position, kResultBreakChars, s.text);
        if (!cached) continue;
        ++arithmetic;
        ASSERT_EQ(*cached, direct) << s.text << " at " << width;
      }
      // A column wider than the whole text always fits it on one line without the canvas.
      EXPECT_TRUE(widths.Height(i, {98, 0, 98 + 2000, 0}, 18).has_value()) << s.text;
    }
  }
  ReleaseDC(nullptr, dc);
  EXPECT_GT(arithmetic, 1000);
}

}  // namespace
}  // namespace calvorin::win32
