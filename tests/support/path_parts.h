// The in-memory doubles' path splitting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

}  // namespace calvorin::testing
