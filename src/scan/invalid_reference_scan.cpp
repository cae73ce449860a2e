#include "scan/invalid_reference_scan.h"

#include <algorithm>
#include <stdexcept>

#include "base/text.h"

namespace calvorin {

InvalidReferenceScan::InvalidReferenceScan(FileSystem& fs, std::string logPath)
    : fs_(fs), logPath_(std::move(logPath)) {
  AppendLogLine(kLogFirstLine);
}

void InvalidReferenceScan::AppendLogLine(const std::string& line) {
  lastLineStart_ = logText_.size();
  logText_ += line;
  logText_ += "\r\n";
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
  logFailure_.reset();
}

const HitStore::Record& InvalidReferenceScan::Row(int row) const {
  if (row < 1 || row > HitCount()) throw std::out_of_range(Format("Hit row %d out of range", row));
  return hits_[static_cast<size_t>(row - 1)];
}

bool InvalidReferenceScan::SearchMatch(const TResult& hit) {
  // The walk may deliver the value in hand after the stop request that a full table causes.
  if (Full()) return false;
  Analysis analysis = AnalyseHit(fs_, hit.KeyPath, hit.DataText);
  if (analysis.verdict != Verdict::kInvalid) return false;

  AppendLogLine(analysis.candidate);
  try {
    WriteLog();
  } catch (const EFileError& e) {
    if (!logFailure_) logFailure_ = e.what();
  }

  hits_.Append(hit);
  if (onRecorded) onRecorded(static_cast<int>(Results().size()) - 1);
  if (Full() && onFull) onFull();
  return true;
}

}  // namespace calvorin
