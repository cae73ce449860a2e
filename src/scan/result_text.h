// The texts of one results entry as the results list shows them.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "scan/hit_store.h"

namespace calvorin {

// The value row: the value's name, "(default)" for the unnamed value, and the entry's error.
std::string ResultValueRow(std::string_view valueName);

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

// Entry `index` (from 0) as the list shows it: its number and its key, value and data rows, each
// row after its label on a line of its own (CR LF between them). What the list box gives screen
// readers for the item and what Copy puts on the clipboard. A `state` ("Ticked", what a run did)
// follows the number on a line of its own.
std::string ResultItemText(const HitStore::Record& entry, int index, std::string_view state = {});

}  // namespace calvorin
