// The results list's canvas with its extent cache against plain GDI measurement: whatever the
// cache answers must be what GDI answers for the same text, style and fonts.
#include "scan/win/gdi_canvas.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/win/font.h"
#include "base/win/unique_handle.h"
#include "scan/wrapped_text.h"

namespace calvorin::win32 {
namespace {

std::vector<std::string> Texts() {
  std::vector<std::string> texts = {"HKEY_LOCAL_MACHINE\\",
                                    "Software\\",
                                    "C:\\",
                                    "Program Files\\",
                                    "missing000042.exe",
                                    "WWWWWWWW",
                                    "iiiiiiii",
                                    "AVAVAV",
                                    "Te",
                                    "(default)",
                                    " ",
                                    "-",
                                    "\x85\xBB",
                                    "\x97"};
  // Every single byte but NUL, and prefixes of a long token, as a split token is measured.
  for (int c = 1; c < 256; ++c) texts.push_back(std::string(1, static_cast<char>(c)));
  const std::string longToken = "AVeryLongFolderNameWithoutAnyBreakCharacterInItAtAll";
  for (std::size_t n = 1; n <= longToken.size(); n += 3) texts.push_back(longToken.substr(0, n));
  return texts;
}

struct Fonts {
  UniqueGdiObject normal, match;
  Fonts(int height)
      : normal(MakeFont(height, FW_NORMAL, false)), match(MakeFont(height, FW_BOLD, true)) {}
  HFONT Normal() const { return static_cast<HFONT>(normal.get()); }
  HFONT Match() const { return static_cast<HFONT>(match.get()); }
};

// What GDI says on the screen's DC, without any cache, for each text in each style (nothing when
// the screen gives no DC).
std::vector<SIZE> Direct(const Fonts& fonts, const std::vector<std::string>& texts) {
  std::vector<SIZE> sizes;
  HWND window = GetDesktopWindow();
  HDC dc = GetDC(window);
  if (dc == nullptr) return sizes;
  {
    GdiCanvas canvas(dc, fonts.Normal(), fonts.Match());
    for (bool match : {false, true}) {
      canvas.SetFontStyle({match, match});
      for (const std::string& t : texts) {
        sizes.push_back({canvas.TextWidth(t), canvas.TextHeight(t)});
      }
    }
  }
  ReleaseDC(window, dc);
  return sizes;
}

void ExpectSame(TextCanvas& canvas, const std::vector<SIZE>& direct,
                const std::vector<std::string>& texts, const char* pass) {
  std::size_t i = 0;
  for (bool match : {false, true}) {
    canvas.SetFontStyle({match, match});
    for (const std::string& t : texts) {
      // Width first on one pass, height first on the other: neither may depend on the order.
      const int width = canvas.TextWidth(t);
      const int height = canvas.TextHeight(t);
      EXPECT_EQ(width, direct[i].cx) << pass << " match=" << match << " text=" << t;
      EXPECT_EQ(height, direct[i].cy) << pass << " match=" << match << " text=" << t;
      ++i;
    }
  }
}

TEST(GdiCanvasCacheTest, CachedExtentsEqualGdiInBothStylesAndEveryPass) {
  Fonts fonts(13);
  ASSERT_TRUE(fonts.normal.get() && fonts.match.get());
  HWND window = GetDesktopWindow();
  const std::vector<std::string> texts = Texts();
  const std::vector<SIZE> direct = Direct(fonts, texts);
  ASSERT_EQ(direct.size(), 2 * texts.size());
  // The bold match font is wider somewhere: a cache that mixed the styles up would show it.
  bool stylesDiffer = false;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    stylesDiffer = stylesDiffer || direct[i].cx != direct[i + texts.size()].cx;
  }
  ASSERT_TRUE(stylesDiffer);

  TextExtentCache cache;
  {
    GdiCanvas canvas(window, fonts.Normal(), fonts.Match(), &cache);
    ExpectSame(canvas, direct, texts, "first");
  }
  const std::size_t kept = cache.Size();
  EXPECT_GE(kept, texts.size());  // distinct texts, in two styles
  {
    // Served from the cache now: nothing new is kept, and the answers stay GDI's.
    GdiCanvas canvas(window, fonts.Normal(), fonts.Match(), &cache);
    ExpectSame(canvas, direct, texts, "cached");
  }
  EXPECT_EQ(cache.Size(), kept);
}

TEST(GdiCanvasCacheTest, OtherFontsAreNeverAnsweredFromWidthsOfTheFirst) {
  Fonts small(13), large(20);
  HWND window = GetDesktopWindow();
  const std::vector<std::string> texts = Texts();
  const std::vector<SIZE> directLarge = Direct(large, texts);
  ASSERT_EQ(directLarge.size(), 2 * texts.size());
  TextExtentCache cache;
  {
    GdiCanvas canvas(window, small.Normal(), small.Match(), &cache);
    for (const std::string& t : texts) canvas.TextWidth(t);
  }
  ASSERT_GT(cache.Size(), 0u);
  GdiCanvas canvas(window, large.Normal(), large.Match(), &cache);
  ExpectSame(canvas, directLarge, texts, "other fonts");
}

TEST(GdiCanvasCacheTest, CallersDcHoldsTheStylesFontAndGetsItsOwnBack) {
  Fonts fonts(13);
  HDC dc = GetDC(nullptr);
  ASSERT_NE(dc, nullptr);
  const HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
  TextExtentCache cache;
  {
    GdiCanvas canvas(dc, fonts.Normal(), fonts.Match(), &cache);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), fonts.Normal());
    canvas.SetFontStyle({true, true});
    // The caller draws with the DC between the canvas's calls, cached or not.
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), fonts.Match());
    canvas.TextWidth("cached after this");
    canvas.SetFontStyle({});
    canvas.TextWidth("cached after this");
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), fonts.Normal());
  }
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), original);
  ReleaseDC(nullptr, dc);
}

TEST(GdiCanvasCacheTest, FullCacheStartsAgainAndStaysCorrect) {
  Fonts fonts(13);
  HWND window = GetDesktopWindow();
  TextExtentCache cache;
  GdiCanvas canvas(window, fonts.Normal(), fonts.Match(), &cache);
  const int wide = canvas.TextWidth("WWWW");
  for (std::size_t i = 0; i <= TextExtentCache::kMaxTexts; ++i) {
    cache.KeepWidth(false, "filler" + std::to_string(i), 1);
  }
  EXPECT_LE(cache.Size(), TextExtentCache::kMaxTexts);
  EXPECT_EQ(canvas.TextWidth("WWWW"), wide);
}

}  // namespace
}  // namespace calvorin::win32
