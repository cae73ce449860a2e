#include "scan/result_text.h"

#include <gtest/gtest.h>

namespace calvorin {
namespace {

// An item taller than the list box allows keeps the data row (the path the user judges): the
// value row gives up lines first, then the key row, each down to one line. Lines of 17 pixels,
// rows at least 18, 251 pixels for the rows.
TEST(ResultItemTest, TallItemKeepsTheDataRowAndShortensValueThenKey) {
  struct Case {
    std::array<int, 3> heights, kept;
  } cases[] = {
      {{34, 18, 51}, {34, 18, 51}},      // fits: as laid out
      {{340, 18, 34}, {187, 18, 34}},    // a long key gives way to the data row
      {{85, 170, 51}, {85, 102, 51}},    // the value row gives up lines before the key row
      {{34, 18, 340}, {18, 18, 204}},    // a long data row keeps all but one line of each
      {{255, 255, 255}, {18, 18, 204}},  // the first line of the data row stays, whatever
  };
  for (const auto& c : cases)
    EXPECT_EQ(FitResultRows(c.heights, 17, 18, 251), c.kept) << c.heights[0];
}

// The design's columns at 96 DPI, and a number too wide for its column (100,000 items in a
// wide face) pushing the labels and the text column aside instead of running into them.
TEST(ResultItemTest, ColumnsMakeRoomForTheLargestNumber) {
  const auto same = [](int v) { return v; };
  const ResultItemColumns design = ResultColumns(same, 14, 26);
  EXPECT_EQ(design, (ResultItemColumns{49, 50, 90, 24, 98, 2, 18, 4}));
  const ResultItemColumns wide = ResultColumns(same, 62, 34);
  EXPECT_GT(wide.labelRight - 34, wide.numberRight);  // right-aligned labels clear the line
  EXPECT_GT(wide.textLeft, wide.labelRight);
}

}  // namespace
}  // namespace calvorin
