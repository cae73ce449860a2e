// The rules that judge one hit of the ":\" search: cut a candidate path out of the value's data
// text, throw it away if a text test catches it, and probe the file system. Each rule is a
// separate function so that it can be exercised on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/platform.h"

namespace calvorin {

// Candidates outside this length range are not taken for paths.
constexpr int kMinCandidateLength = 10;
constexpr int kMaxCandidateLength = 100;

// The candidate path of a data text. nullopt when the value is not analysed at all (its first ":"
// stands after the third character); otherwise the cut text, possibly empty.
std::optional<std::string> CutCandidate(std::string_view dataText);

// The text test that throws a candidate away, numbered in the order the tests run.
enum class Rejection : int {
  kNone = 0,
  kNoBackslash = 1,       // no "\" at all
  kBackslashDigit = 2,    // "\0" .. "\9"
  kListCharacter = 3,     // "2:", "1:", "0:", "!", "?", ". ."
  kOtherDrive = 4,        // "<letter>:" for any drive but B, C and W, either case
  kLateColon = 5,         // a ":" at the 4th character or later
  kCommandCharacter = 6,  // ">", "%", "..", ";", ",", "+", "-", "/", "^"
  kExcludedWord = 7,      // "fax", "msi", "cache", "norton", "symantec", ... (listed cases)
  kFolderWithDot = 8,     // contains "." and ends with "\"
  kSystemWord = 9,        // "RunDll32", "pagefile", "Windows", "windows", "WINDOWS"
  kClassesRoot = 10,      // the key lies below HKEY_CLASSES_ROOT
  kProgramWord = 11,      // "iolo", "office", "Application", "dll", "HP", ... (listed cases)
  kLength = 12,           // fewer than 10 or more than 100 characters
  kQuote = 13,            // a double-quote character
  kCutData = 14,          // cut out of a data text the walk clipped to its window
};

// The first test (in the order above) that rejects the candidate, or kNone. All tests are
// case-sensitive byte searches; only the listed case variants of a word are caught.
Rejection RejectCandidate(std::string_view candidate, std::string_view keyPath);

// The file-system probe that found the candidate, in probing order.
enum class Probe : int {
  kNone = 0,  // nothing found: the candidate is invalid
  kFile = 1,
  kFileLowerCase = 2,
  kFileUpperCase = 3,
  kFolder = 4,
  kFolderLessLastCharacter = 5,
  kFolderLowerCase = 6,
  kFolderUpperCase = 7,
};

// Runs the seven probes in order and stops at the first that succeeds (at most seven calls into
// `fs`). Lower and upper case fold the ASCII letters only. A probe whose path is the very text an
// earlier probe of the same kind already asked (the lower case of an all-lower candidate, say)
// is not asked again: its answer was no. Nor is a folder question whose answer came with a file
// probe (FileSystem::FileAnswer).
Probe ProbeCandidate(FileSystem& fs, const std::string& candidate);

enum class Verdict { kNotAnalysed, kRejected, kExists, kInvalid };

struct Analysis {
  Verdict verdict = Verdict::kNotAnalysed;
  std::string candidate;
  Rejection rejection = Rejection::kNone;  // set when rejected
  Probe probe = Probe::kNone;              // set when the candidate exists
};

// Whether the walk clipped the data text to its window and marked the cut: no uncut text is
// longer than the window, and a cut one ends with the right mark or starts with the left.
bool DataTextWasCut(std::string_view dataText);

// Cut, tests, then probes: a rejected candidate never reaches the file system. A candidate cut
// out of a clipped data text ends where the walk cut, not where the path ends (a quoted path
// keeps the first byte of the right mark), and is rejected when the text tests pass it.
Analysis AnalyseHit(FileSystem& fs, std::string_view keyPath, std::string_view dataText);

}  // namespace calvorin
