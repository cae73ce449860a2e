#include "scan/result_text.h"

#include "base/text.h"

namespace calvorin {

std::string ResultValueRow(std::string_view valueName) {
  std::string row = valueName.empty() ? std::string("(default)") : std::string(valueName);
  row += "   Error : File not found";
  return row;
}

ResultRows::ResultRows(const HitStore::Record& entry)
    : valueRow(ResultValueRow(entry.valueName)),
      rows{{{"Key: ", entry.keyPos, entry.keyLen, entry.keyPath},
            {"Val: ", entry.namePos, entry.nameLen, valueRow},
            {"Dat: ", entry.dataPos, entry.dataLen, entry.dataText}}} {}

std::string ResultItemText(const HitStore::Record& entry, int index, std::string_view state) {
  std::string text = Format("%d. ", index + 1);
  if (!state.empty()) text.append(state).append("\r\n");
  const ResultRows shown(entry);
  for (const ResultRow& row : shown.rows) {
    if (&row != &shown.rows.front()) text += "\r\n";
    text += row.label;
    text += row.text;
  }
  return text;
}

}  // namespace calvorin
