// The invalid-path log of an InvalidReferenceScan as the scan keeps it, for the tests to hold
// "rrr.TXT" to.
#pragma once

#include <string>
#include <vector>

#include "scan/invalid_reference_scan.h"

namespace calvorin::testing {

struct ScanLogAccess {
  static const std::string& Text(const InvalidReferenceScan& s) { return s.logText_; }
  static const std::string& Path(const InvalidReferenceScan& s) { return s.logPath_; }
  static bool FileOpen(const InvalidReferenceScan& s) { return s.logFile_ != nullptr; }
};

// The whole log, CR LF after each line: exactly what "rrr.TXT" receives.
inline const std::string& LogText(const InvalidReferenceScan& s) {
  return ScanLogAccess::Text(s);
}
inline const std::string& LogPath(const InvalidReferenceScan& s) {
  return ScanLogAccess::Path(s);
}
// Whether "rrr.TXT" is held open for the next line.
inline bool LogFileOpen(const InvalidReferenceScan& s) { return ScanLogAccess::FileOpen(s); }

// The log's lines, "Memo2" first.
inline std::vector<std::string> LogLines(const InvalidReferenceScan& s) {
  const std::string& text = LogText(s);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    // A candidate never holds CR LF: the data excerpt shows control characters as full stops.
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

}  // namespace calvorin::testing
