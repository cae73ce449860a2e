#include "scan/result_text.h"

#include "base/text.h"

namespace calvorin {

std::string ResultValueRow(std::string_view valueName) {
  std::string row = valueName.empty() ? std::string("(default)") : std::string(valueName);
  row += "   Error : File not found";
  return row;
}

std::string ResultItemText(const HitStore::Record& entry, int index) {
  std::string text = Format("%d. ", index + 1);
  text += "Key: ";
  text += entry.keyPath;
  text += "\r\nVal: ";
  text += ResultValueRow(entry.valueName);
  text += "\r\nDat: ";
  text += entry.dataText;
  return text;
}

}  // namespace calvorin
