#include "repair/repair_view.h"

namespace calvorin {

void RepairView::Begun(int total) {
  Set(screen_.wait, true, kWait);
  Set(screen_.noteVisible, false, kNoteVisible);
  Set(screen_.progressVisible, true, kProgressVisible);
  Set(screen_.editVisible, true, kEditVisible);
  screen_.rangeMin = 0;
  Set(screen_.rangeMax, total, kRange);
  Set(screen_.position, 0, kPosition);
}

void RepairView::Finished(const RepairOutcome& outcome) {
  Set(screen_.label1, outcome.cleaned, kLabel1);
  if (!outcome.fixed.empty()) Set(screen_.label2, outcome.fixed, kLabel2);
  PutBack(outcome.backupExists);
  std::string label3 = outcome.unchanged;
  if (!outcome.notReached.empty()) label3 += (label3.empty() ? "" : ". ") + outcome.notReached;
  if (!label3.empty()) Set(screen_.label3, std::move(label3), kLabel3);
  if (!outcome.rightsHint.empty()) {
    Set(screen_.note, outcome.rightsHint, kNote);
    Set(screen_.noteVisible, true, kNoteVisible);
  }
  // Stopped, the entries not reached are still there to repair.
  Set(screen_.repairHidden, outcome.notReached.empty(), kRepair);
}

void RepairView::PutBack(bool backupExists) {
  Set(screen_.progressVisible, false, kProgressVisible);
  Set(screen_.editVisible, false, kEditVisible);
  if (backupExists) Set(screen_.restoreEnabled, true, kRestore);
  Set(screen_.label3, std::string(), kLabel3);
  Set(screen_.status, std::string(), kStatus);
  Set(screen_.wait, false, kWait);
}

}  // namespace calvorin
