// What a repair run reports while it works, and when it lets the window handle its messages.
// The run builds every text the user reads (repair.cpp, drive_index.cpp); the window decides
// which control shows it and when it is painted.
#pragma once

#include <string>

namespace calvorin {

// The texts of a run that went through.
struct RepairOutcome {
  std::string cleaned;        // "%d Registry Items Cleaned"
  std::string fixed;          // "%d Registry Items Fixed"; empty when no value was corrected
  std::string unchanged;      // "%d Registry Items Left Unchanged"; empty when none was left alone
  std::string rightsHint;     // that running as administrator makes the refused changes; or empty
  // "Stopped: %d Registry Items Not Reached" when the user stopped the run; empty when it went
  // through. A stopped run leaves Repair to be run again on the same entries.
  std::string notReached;
  bool backupExists = false;  // the backup file is there for Restore
};

class RepairUi {
 public:
  virtual ~RepairUi() = default;
  // The run starts on `total` entries: the wait cursor, the progress at 0 of `total`.
  virtual void Begun(int total) = 0;
  // An entry is being read: `status` is "Fixing item %d of %d". The window repaints and handles
  // its pending messages.
  virtual void ItemStarted(const std::string& status) = 0;
  // The entry being read, or changed once the backup is written: `entry` names its key and
  // value ("<key path>, <value name>"), so that the user sees which item the run is at.
  virtual void Working(const std::string& /*entry*/) {}
  // `done` entries of the total have been read. The window handles its pending messages.
  virtual void ItemDone(int done) = 0;
  // A folder is being searched for an entry's moved file: `status` is "Searching for <name>
  // <folder>". The window repaints and handles its pending messages.
  virtual void Searching(const std::string& status) = 0;
  // The search goes on between two Searching reports. The window handles its pending messages.
  virtual void StillSearching() = 0;
  // Whether moved files are searched for (the "extra" check box); asked afresh for every entry.
  virtual bool SearchMovedFiles() = 0;
  // Whether the user asked the run to stop. Asked after every entry of both passes and at every
  // folder the drive search visits; the window handles its pending input here first, so that a
  // press of Stop (or Esc) is seen also while nothing else reports.
  virtual bool StopRequested() { return false; }
  // The run went through, or stopped when asked: its count texts.
  virtual void Finished(const RepairOutcome& outcome) = 0;
  // The run stopped on a failure, which is thrown on after this; nothing is counted, and the
  // entries can be repaired again.
  virtual void Failed(bool backupExists) = 0;
};

}  // namespace calvorin
