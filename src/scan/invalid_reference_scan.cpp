#include "scan/invalid_reference_scan.h"

#include <algorithm>
#include <stdexcept>

#include "base/text.h"

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
  if (result.rejection != Rejection::kNone) {
    result.verdict = Verdict::kRejected;
    return result;
  }
  result.probe = ProbeCandidate(fs, result.candidate);
  result.verdict = result.probe == Probe::kNone ? Verdict::kInvalid : Verdict::kExists;
  return result;
}

InvalidReferenceScan::InvalidReferenceScan(FileSystem& fs, std::string logPath)
    : fs_(fs), logPath_(std::move(logPath)) {
  AppendLogLine(kLogFirstLine);
}

void InvalidReferenceScan::AppendLogLine(const std::string& line) {
  lastLineStart_ = logText_.size();
  logText_ += line;
  logText_ += "\r\n";
}

std::vector<std::string> InvalidReferenceScan::LogLines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < logText_.size()) {
    // A candidate never holds CR LF: the data excerpt shows control characters as full stops.
    const std::size_t end = logText_.find("\r\n", start);
    lines.push_back(logText_.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

// After every hit the file holds the whole log. Rewriting it each time costs the square of the
// number of hits, so once the file is known to hold everything but the newest line, only that
// line is appended, through a handle kept open until the scan ends (opening and closing the file
// for every line costs more than the write itself). The handle shares every access, so other
// programs may read, empty, replace or delete the file meanwhile; before each append the file at
// the path must still be as long as the log less its newest line, and any doubt (first hit of a
// scan, another size, a failed open or write) closes the handle and rewrites the whole file.
void InvalidReferenceScan::WriteLog() {
  if (logOnDisk_) {
    logOnDisk_ = false;
    try {
      if (fs_.FileSize(logPath_) == std::optional<std::uint64_t>(lastLineStart_)) {
        if (!logFile_) logFile_ = fs_.OpenForAppend(logPath_);
        logFile_->Append(logText_.substr(lastLineStart_));
        logOnDisk_ = true;
        return;
      }
    } catch (const EFileError&) {
      // Fall through to a whole rewrite, which reports the failure if it fails too.
    }
  }
  logFile_.reset();
  fs_.WriteWholeFile(logPath_, logText_);
  logOnDisk_ = true;
}

void InvalidReferenceScan::Clear() {
  hits_.Clear();
  resultsFirst_ = 0;
}

const HitStore::Record& InvalidReferenceScan::Row(int row) const {
  if (row < 1 || row > HitCount()) throw std::out_of_range(Format("Hit row %d out of range", row));
  return hits_[static_cast<size_t>(row - 1)];
}

bool InvalidReferenceScan::SearchMatch(const std::string& keyPath, const std::string& valueName,
                                       const std::string& dataText, std::int32_t keyPos,
                                       std::int32_t namePos, std::int32_t dataPos,
                                       std::int32_t keyLen, std::int32_t nameLen,
                                       std::int32_t dataLen, Hkey root) {
  // The walk may deliver the value in hand after the stop request that a full table causes.
  if (Full()) return false;
  Analysis analysis = AnalyseHit(fs_, keyPath, dataText);
  if (analysis.verdict != Verdict::kInvalid) return false;

  AppendLogLine(analysis.candidate);
  WriteLog();

  hits_.Append(keyPath, valueName, dataText, keyPos, namePos, dataPos, keyLen, nameLen, dataLen,
               root);
  if (onRecorded) onRecorded(static_cast<int>(Results().size()) - 1);
  if (Full() && onFull) onFull();
  return true;
}

}  // namespace calvorin
