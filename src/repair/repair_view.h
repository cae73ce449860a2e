// What the scan page shows while a Repair run works: each event the run reports (RepairUi) as
// the state of the page's controls it leaves. The window sets its controls from it
// (app/win/repair_controls.*).
#pragma once

#include <string>
#include <utility>

#include "repair/repair_ui.h"

namespace calvorin {

// The controls a run changes, as it leaves them.
struct RepairScreen {
  std::string label1, label2, label3;
  std::string edit;                              // Edit1: the folder being searched
  std::string note;                              // Label4: the note on refused changes
  std::string status;                            // the status bar: the entry the run is at
  int rangeMin = 0, rangeMax = 0, position = 0;  // pb1
  bool progressVisible = false, editVisible = false, noteVisible = false;
  bool wait = false;            // the hourglass
  bool restoreEnabled = false;  // Button4
  bool repairHidden = false;    // Button3
};

// The events of a run as the scan page shows them:
//   Begun        the hourglass; Label4 hidden; pb1 and Edit1 shown, pb1 from 0 to the total
//   ItemStarted  Label3 shows the status             ItemDone  pb1's position
//   Searching    Edit1 shows the status              Working   the status bar names the entry
//   Failed       pb1 and Edit1 hidden, Restore enabled when the backup exists, Label3 and the
//                status bar emptied, the default cursor
//   Finished     Label1 the cleaned count, Label2 the fixed count (if any), then as Failed,
//                then Label3 the unchanged count and the count not reached by a stopped run
//                and Label4 shown with the note on refused changes (each if any), and Repair
//                hidden unless the run was stopped
class RepairView {
 public:
  // The parts of the screen an event sets.
  enum Part : unsigned {
    kLabel1 = 1u << 0,
    kLabel2 = 1u << 1,
    kLabel3 = 1u << 2,
    kEdit = 1u << 3,
    kNote = 1u << 4,
    kRange = 1u << 5,
    kPosition = 1u << 6,
    kProgressVisible = 1u << 7,
    kEditVisible = 1u << 8,
    kNoteVisible = 1u << 9,
    kWait = 1u << 10,
    kRestore = 1u << 11,
    kRepair = 1u << 12,
    kStatus = 1u << 13,
  };

  // `start`: the page before the run, as far as anyone reads it before the run sets it.
  explicit RepairView(RepairScreen start = {}) : screen_(std::move(start)) {}

  void Begun(int total);
  void ItemStarted(const std::string& status) { Set(screen_.label3, status, kLabel3); }
  void ItemDone(int done) { Set(screen_.position, done, kPosition); }
  void Searching(const std::string& status) { Set(screen_.edit, status, kEdit); }
  void Working(const std::string& entry) { Set(screen_.status, entry, kStatus); }
  void Finished(const RepairOutcome& outcome);
  void Failed(bool backupExists) { PutBack(backupExists); }

  const RepairScreen& Screen() const { return screen_; }
  // The parts set since the last call (a part set to the value it had counts too).
  unsigned TakeChanges() { return std::exchange(changed_, 0u); }

 private:
  // The controls a run ends with, whether it went through or failed.
  void PutBack(bool backupExists);
  template <typename T>
  void Set(T& field, T value, Part part) {
    field = std::move(value);
    changed_ |= part;
  }

  RepairScreen screen_;
  unsigned changed_ = 0;
};

}  // namespace calvorin
