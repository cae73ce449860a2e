#include "scan/candidate.h"

#include <algorithm>

#include "base/text.h"
#include "search/search_thread.h"

namespace calvorin {
namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A drive designator of any drive but B, C and W ("d:", "D:", ...).
bool HasOtherDrive(std::string_view candidate) {
  for (size_t i = 0; i + 1 < candidate.size(); ++i) {
    if (candidate[i + 1] != ':' || !IsAsciiLetter(candidate[i])) continue;
    const char drive = UpperAscii(candidate[i]);
    if (drive != 'B' && drive != 'C' && drive != 'W') return true;
  }
  return false;
}

bool HasBackslashDigit(std::string_view candidate) {
  for (size_t i = 0; i + 1 < candidate.size(); ++i) {
    if (candidate[i] == '\\' && candidate[i + 1] >= '0' && candidate[i + 1] <= '9') return true;
  }
  return false;
}

// A ":" at the 4th character (1-based) or later.
bool HasLateColon(std::string_view candidate) {
  return candidate.size() > 3 && candidate.find(':', 3) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> CutCandidate(std::string_view dataText) {
  const int p = Pos(":", dataText);
  if (p > 3) return std::nullopt;
  if (p == 2) return std::string(dataText);
  const int length = static_cast<int>(dataText.size()) - 2;
  return Copy(dataText, std::max(p - 1, 1), length);
}

Rejection RejectCandidate(std::string_view c, std::string_view keyPath) {
  if (!Contains(c, "\\")) return Rejection::kNoBackslash;
  if (HasBackslashDigit(c)) return Rejection::kBackslashDigit;
  if (ContainsAny(c, {"2:", "1:", "0:", "!", "?", ". ."})) return Rejection::kListCharacter;
  if (HasOtherDrive(c)) return Rejection::kOtherDrive;
  if (HasLateColon(c)) return Rejection::kLateColon;
  if (ContainsAny(c, {">", "%", "..", ";", ",", "+", "-", "/", "^"})) {
    return Rejection::kCommandCharacter;
  }
  if (ContainsAny(
          c, {"fax", "msi", "Fax", "Msi", "FAX", "MSI", "cache", "Cache", "norton", "NORTON",
              "Norton", "symantec", "Symantec", "Network", "blank", "Blank", "BLANK", "Local"})) {
    return Rejection::kExcludedWord;
  }
  if (Contains(c, ".") && c.back() == '\\') return Rejection::kFolderWithDot;
  if (ContainsAny(c, {"RunDll32", "pagefile", "Windows", "windows", "WINDOWS"})) {
    return Rejection::kSystemWord;
  }
  if (Contains(keyPath, "HKEY_CLASSES_ROOT")) return Rejection::kClassesRoot;
  if (ContainsAny(c, {"iolo", "office", "Application", "dll", "HP", "inf", "vxd", "asx",
                      "Start Menu", "IOLO", "OFFICE", "DLL", "hp", "INF", "VXD", "ASX"})) {
    return Rejection::kProgramWord;
  }
  const int length = static_cast<int>(c.size());
  if (length > kMaxCandidateLength || length < kMinCandidateLength) return Rejection::kLength;
  if (Contains(c, "\"")) return Rejection::kQuote;
  return Rejection::kNone;
}

bool DataTextWasCut(std::string_view dataText) {
  if (dataText.size() <= static_cast<size_t>(kDataWindow)) return false;
  return dataText.substr(0, kLeftMarker.size()) == kLeftMarker ||
         dataText.substr(dataText.size() - kRightMarker.size()) == kRightMarker;
}

Probe ProbeCandidate(FileSystem& fs, const std::string& candidate) {
  const std::string lower = LowerAscii(candidate);
  const std::string upper = UpperAscii(candidate);
  // The folded texts equal the candidate (or each other) when it has no letters of that case;
  // asking the same path twice gives the same answer, no.
  const bool askLower = lower != candidate;
  const bool askUpper = upper != candidate && upper != lower;
  // A folder question whose answer came with the file question of the same path is not asked
  // again: the probes of one candidate follow each other within microseconds.
  const auto folderExists = [&fs](const FileSystem::FileAnswer& known, const std::string& path) {
    return known.folder ? *known.folder : fs.FolderExists(path);
  };
  const FileSystem::FileAnswer asIs = fs.FileExistsAndFolder(candidate);
  if (asIs.file) return Probe::kFile;
  FileSystem::FileAnswer inLower, inUpper;
  if (askLower && (inLower = fs.FileExistsAndFolder(lower)).file) return Probe::kFileLowerCase;
  if (askUpper && (inUpper = fs.FileExistsAndFolder(upper)).file) return Probe::kFileUpperCase;
  if (folderExists(asIs, candidate)) return Probe::kFolder;
  const bool lessLast =
      asIs.folderLessLastCharacter
          ? *asIs.folderLessLastCharacter
          : fs.FolderExists(Copy(candidate, 1, static_cast<int>(candidate.size()) - 1));
  if (lessLast) return Probe::kFolderLessLastCharacter;
  if (askLower && folderExists(inLower, lower)) return Probe::kFolderLowerCase;
  if (askUpper && folderExists(inUpper, upper)) return Probe::kFolderUpperCase;
  return Probe::kNone;
}

Analysis AnalyseHit(FileSystem& fs, std::string_view keyPath, std::string_view dataText) {
  Analysis result;
  auto candidate = CutCandidate(dataText);
  if (!candidate) return result;
  result.candidate = std::move(*candidate);
  result.rejection = RejectCandidate(result.candidate, keyPath);
  if (result.rejection == Rejection::kNone && DataTextWasCut(dataText)) {
    result.rejection = Rejection::kCutData;
  }
  if (result.rejection != Rejection::kNone) {
    result.verdict = Verdict::kRejected;
    return result;
  }
  result.probe = ProbeCandidate(fs, result.candidate);
  result.verdict = result.probe == Probe::kNone ? Verdict::kInvalid : Verdict::kExists;
  return result;
}

}  // namespace calvorin
