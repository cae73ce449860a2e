// The texts of one results entry as the results list shows them.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "scan/hit_store.h"

namespace calvorin {

// The value row: the value's name, "(default)" for the unnamed value, and the entry's error.
std::string ResultValueRow(std::string_view valueName);

// The rows' labels, in the order the list shows them.
inline constexpr std::array<std::string_view, 3> kResultRowLabels = {"Key: ", "Val: ", "Dat: "};

// One row of an entry as the list shows it: its label, its text and the match in it (1-based
// position and length, 0 for none).
struct ResultRow {
  std::string_view label;
  int position, length;
  std::string_view text;
};

// An entry's rows in the order the list shows them: key, value, data. Measuring, drawing and the
// item's text all take them from here, so they cannot disagree on what an item holds.
struct ResultRows {
  explicit ResultRows(const HitStore::Record& entry);
  ResultRows(const ResultRows&) = delete;
  ResultRows& operator=(const ResultRows&) = delete;

  std::string valueRow;  // ResultValueRow of the entry's value name, which rows[1] shows
  std::array<ResultRow, 3> rows;
};

// The number an item shows in its number column: "%d. " of `index` + 1.
std::string ResultNumberText(int index);

// Where an item's parts lie, in pixels from the item's left edge. Measuring, drawing, the copy
// menu's place and the item's text all take them from here.
struct ResultItemColumns {
  int numberRight;  // the number column runs from 1 to here (its line is drawn here)
  int labelLeft, labelRight, labelHeight;  // the row labels, right-aligned, one line each
  int textLeft;                            // the text column; it ends textGap before the right
  int textGap;
  int rowLeast;   // a row is at least this tall
  int bottomGap;  // below the last row
  bool operator==(const ResultItemColumns&) const = default;
};

// The columns at the window's scale (`scale` turns a figure of the 96-DPI design into pixels).
// The number column is as wide as `numberWidth` (the widest number's text) and the labels as
// `labelWidth` (the widest label's) need: a wide number pushes the labels, and they the text
// column, to the right, so that neither touches the other.
template <typename Scale>
ResultItemColumns ResultColumns(Scale scale, int numberWidth, int labelWidth) {
  ResultItemColumns c{};
  const int gap = scale(4);
  c.numberRight = scale(1) + std::max(scale(48), numberWidth);
  c.labelLeft = std::max(scale(50), c.numberRight + scale(1));
  c.labelRight = std::max(scale(90), c.numberRight + gap + labelWidth);
  c.labelHeight = scale(24);
  c.textLeft = std::max(scale(98), c.labelRight + 2 * gap);
  c.textGap = scale(2);
  c.rowLeast = scale(18);
  c.bottomGap = scale(4);
  return c;
}

// The heights the key, value and data rows keep in an item that may be at most `limit` tall
// (the list box's limit less the gap below the rows), given the heights they are laid out in
// and their line height. The data row holds the path the user judges: it keeps as many lines
// as it can, and at least its first; the value row gives up lines first, then the key row,
// each keeping at least one. A row cut shorter is a whole number of lines (at least `least`).
std::array<int, 3> FitResultRows(const std::array<int, 3>& heights, int lineHeight, int least,
                                 int limit);

// Entry `index` (from 0) as the list shows it: its number and its key, value and data rows, each
// row after its label on a line of its own (CR LF between them). What the list box gives screen
// readers for the item and what Copy puts on the clipboard. A `state` ("Ticked", what a run did)
// follows the number on a line of its own.
std::string ResultItemText(const HitStore::Record& entry, int index, std::string_view state = {});

}  // namespace calvorin
