// The in-memory doubles' path splitting and name comparison.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace calvorin::testing {

// The parts of `path` between separators, empty parts left out ("\a\\b\" gives "a", "b").
inline std::vector<std::string> PathParts(std::string_view path,
                                          std::string_view separators = "\\") {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path) {
    if (separators.find(c) != std::string_view::npos) {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// ASCII-only case-insensitive equality.
inline bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace calvorin::testing
