// The texts of one results entry as the results list shows them.
#pragma once

#include <string>
#include <string_view>

#include "scan/hit_store.h"

namespace calvorin {

// The value row: the value's name, "(default)" for the unnamed value, and the entry's error.
std::string ResultValueRow(std::string_view valueName);

// Entry `index` (from 0) as the list shows it: its number and its key, value and data rows, each
// row after its label on a line of its own (CR LF between them). What the list box gives screen
// readers for the item and what Copy puts on the clipboard.
std::string ResultItemText(const HitStore::Record& entry, int index);

}  // namespace calvorin
