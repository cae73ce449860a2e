// Judging one hit of the ":\" search: cut a candidate path out of the value's data text, throw it
// away if a text test catches it, probe the file system, and record the value when the candidate
// names neither a file nor a folder.
//
// The rules themselves are in scan/candidate.h; InvalidReferenceScan puts them together with the
// hit table, the results list and the invalid-path log that the main window owns.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/platform.h"
#include "registry/registry.h"
#include "scan/candidate.h"
#include "scan/hit_store.h"
#include "search/result.h"

namespace calvorin {
namespace testing {
struct ScanLogAccess;
}

// The first line of the invalid-path log and the file it is written to.
constexpr const char* kLogFirstLine = "Memo2";
constexpr const char* kLogFileName = "rrr.TXT";

// The scan's record of invalid values: the hit table and HitCount, the results list and the
// invalid-path log. Owned by the main window and used on its thread only (the walk reaches it
// through its synchronous call), so it has no locks.
//
// A full table: the table holds kHitTableRows rows and is never written beyond them. The record
// that fills it calls onFull, so that the window can ask the walk to stop; an invalid value that
// arrives while the table is full is neither analysed nor recorded anywhere (not even in the
// log), so HitCount, the table and the results list stay in step and the user sees
// "Found 100000 items before being stopped".
class InvalidReferenceScan {
 public:
  // `logPath` is where the invalid-path log is written; the program passes the relative name
  // "rrr.TXT" (the current directory).
  explicit InvalidReferenceScan(FileSystem& fs, std::string logPath = kLogFileName);

  // Called after a value has been recorded, with the index of its results entry:
  // the window adds, measures and selects the list-box item here.
  std::function<void(int index)> onRecorded;
  // Called once when a record fills the table (after onRecorded).
  std::function<void()> onFull;

  // A scan starts: HitCount 0, the results list emptied, no log failure. The log is kept.
  void Clear();
  // A scan has ended: "rrr.TXT", held open for appending while hits come in, is closed (it holds
  // the whole log already). Until the next hit anyone may change it, so that hit rewrites it
  // whole. Destruction closes it too.
  void CloseLog() {
    logFile_.reset();
    logOnDisk_ = false;
  }
  // Empties the results list only (a changed search text, a saved search opened); HitCount and
  // the table are left as they are, so Clear() must precede the next scan.
  void ClearResults() { resultsFirst_ = hits_.Size(); }

  // The match callback: analyses the hit and, when it is invalid, records it in this order:
  // log line and "rrr.TXT", hit-table row, results entry, onRecorded. Returns true when the value
  // was recorded. A failed write of "rrr.TXT" hides nothing: the value is recorded all the same,
  // the line stays in the log (the next hit writes the whole log again), and the failure is kept
  // for LogFailure instead of ending the walk of the key.
  bool SearchMatch(const TResult& hit);
  // The first failed write of "rrr.TXT" since Clear() (its message naming the path and the
  // system's reason), or nothing; taking it forgets it, so a scan reports it once, however many
  // hits failed.
  std::optional<std::string> TakeLogFailure() { return std::exchange(logFailure_, std::nullopt); }
  bool LogFailed() const { return logFailure_.has_value(); }

  bool Full() const { return HitCount() >= kHitTableRows; }

  // The hit table: rows 1 .. HitCount(). A row outside that range throws std::out_of_range.
  int HitCount() const { return static_cast<int>(hits_.Size()); }
  std::string HitKeyPath(int row) const { return std::string(Row(row).KeyPath); }
  std::string HitValueName(int row) const { return std::string(Row(row).ValueName); }
  std::string HitDataText(int row) const { return std::string(Row(row).DataText); }
  std::uint32_t HitType(int row) const { return Row(row).Type; }
  // The row's key path in the key's own letters.
  std::string HitNamedKeyPath(int row) const { return std::string(NamedKeyPathOf(Row(row))); }

  // Entry i describes the same value as hit-table row i + 1. The table and the list share one
  // store: the list is the rows recorded since the last Clear() or ClearResults().
  ResultList Results() const { return ResultList(hits_, resultsFirst_); }
  // The hit-table row of results entry 0: Repair acts on rows FirstShownRow() .. HitCount(),
  // the ones the list shows, so after the list was emptied it changes nothing.
  int FirstShownRow() const { return static_cast<int>(resultsFirst_) + 1; }


 private:
  friend struct testing::ScanLogAccess;  // the tests read the log as it is kept

  const HitStore::Record& Row(int row) const;
  void AppendLogLine(const std::string& line);
  void WriteLog();

  FileSystem& fs_;
  std::string logPath_;
  HitStore hits_;
  std::size_t resultsFirst_ = 0;  // the hit-table row (0-based) of results entry 0
  // The invalid-path log: "Memo2" and then the candidate of every invalid value since the object
  // was made, across scans (a line whose write failed stays and goes out with the next write);
  // exactly what "rrr.TXT" receives (CR LF after each line). The lines are kept only here: at
  // 100,000 hits a second copy costs megabytes.
  std::string logText_;
  std::size_t lastLineStart_ = 0;  // where the newest line begins in logText_
  bool logOnDisk_ = false;  // the file holds exactly logText_
  // Open while logOnDisk_ holds, so a hit costs one write instead of an open, a write and a close.
  std::unique_ptr<AppendStream> logFile_;
  std::optional<std::string> logFailure_;
};

}  // namespace calvorin
