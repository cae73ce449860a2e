// The user locale's comparison as the walk's name order and SkipKeys lookups use it.
#include "search/win/locale_compare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"

namespace calvorin::win32 {
namespace {

struct CompareCase {
  std::string a;
  std::string b;
  int sign;
};

int Sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(LocaleCompareText, IgnoresCaseAndOrdersLikeTheLocale) {
  const std::vector<CompareCase> cases = {
      {"HKEY_CURRENT_USER\\software", "HKEY_CURRENT_USER\\SOFTWARE", 0},
      {"abc", "ABD", -1},
      {"B", "a", 1},
      {"", "a", -1},
      {"a", "", 1},
      {"", "", 0},
      {"\xC4pfel", "\xE4PFEL", 0},  // Windows-1252 letters fold too, unlike ASCII-only folding
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(LocaleCompareText(c.a, c.b)), c.sign) << c.a << " / " << c.b;
  }
  // Word sort gives a hyphen little weight, but two such names are still different keys.
  EXPECT_NE(LocaleCompareText("co-op", "coop"), 0);
  EXPECT_NE(LocaleCompareText("a'b", "ab"), 0);
}

TEST(LocaleCompareText, InstallMakesCompareTextUseIt) {
  InstallLocaleCompare();
  EXPECT_EQ(CompareText("\xC4pfel", "\xE4PFEL"), 0);
  SetTextCompare(nullptr);
  EXPECT_NE(CompareText("\xC4pfel", "\xE4PFEL"), 0);
}

}  // namespace
}  // namespace calvorin::win32
