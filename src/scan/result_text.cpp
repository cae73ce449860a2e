#include "scan/result_text.h"

#include "base/text.h"

namespace calvorin {

std::string ResultValueRow(std::string_view valueName) {
  std::string row = valueName.empty() ? std::string("(default)") : std::string(valueName);
  row += "   Error : File not found";
  return row;
}

ResultRows::ResultRows(const HitStore::Record& entry)
    : valueRow(ResultValueRow(entry.ValueName)),
      rows{{{kResultRowLabels[0], entry.KeyPos, entry.KeyLen, entry.KeyPath},
            {kResultRowLabels[1], entry.NamePos, entry.NameLen, valueRow},
            {kResultRowLabels[2], entry.DataPos, entry.DataLen, entry.DataText}}} {}

std::string ResultNumberText(int index) {
  return Format("%d. ", index + 1);
}

std::array<int, 3> FitResultRows(const std::array<int, 3>& heights, int lineHeight, int least,
                                 int limit) {
  if (heights[0] + heights[1] + heights[2] <= limit) return heights;
  const int line = std::max(lineHeight, 1);
  // A row cut to fit `room`: the whole lines that fit, at least one.
  auto cut = [&](int height, int room) {
    if (height <= room) return height;
    return std::min(height, std::max(std::max(room, line) / line * line, least));
  };
  auto one = [&](int height) { return cut(height, 0); };
  std::array<int, 3> kept{};
  kept[2] = cut(heights[2], limit - one(heights[0]) - one(heights[1]));
  kept[0] = cut(heights[0], limit - kept[2] - one(heights[1]));
  kept[1] = cut(heights[1], limit - kept[2] - kept[0]);
  return kept;
}

std::string ResultItemText(const HitStore::Record& entry, int index, std::string_view state) {
  std::string text = ResultNumberText(index);
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
