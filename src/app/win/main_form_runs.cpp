// The scan and Repair as the window runs them: Search starts the walk on its thread and shows
// what it finds once per frame; Repair runs on this thread and keeps the window answering;
// Restore hands the backup to the registry editor.
#include <exception>
#include <vector>

#include "app/settings.h"
#include "app/win/control_ids.h"
#include "app/win/main_form.h"
#include "app/win/repair_controls.h"
#include "app/win/repair_setup.h"
#include "app/win/run_chooser.h"
#include "base/scope_exit.h"
#include "base/text.h"
#include "registry/win/win_registry.h"
#include "repair/kept_runs.h"
#include "repair/repair.h"
#include "repair/win/repair_lock.h"
#include "repair/win/win_backup_files.h"
#include "repair/win/win_file_security.h"

namespace calvorin::win32 {
void TMainForm::acSearchExecute() {
  const ScopeExit arrow(
      [old = SetCursor(LoadCursor(nullptr, IDC_WAIT))] { SetCursor(old ? old : LoadCursor(nullptr, IDC_ARROW)); });
  scan_.Clear();  // HitCount := 0
  SetWindowTextA(controls_.label2, "");
  // The last Repair's count of entries left unchanged belongs to that run only.
  SetWindowTextA(controls_.label3, "");
  ShowWindow(controls_.label4, SW_HIDE);
  StartTextSearch();
  SetPageEnabled(false);
  ApplyRestoreRule();
  FocusIfLost(nullptr);  // the window itself while the page is disabled
}

void TMainForm::StartTextSearch() {
  results_.Clear();
  scan_.ClearResults();
  ShowTicked();
  scanShown_.Begun(controls_.ScanSet(hwnd_));
  SetWindowTextA(controls_.lblSearch, "Searching...");
  FormResize();
  ShowNotebookPage(0);
  // The rows' data texts are shown for this text; Repair compares them with the values anew.
  scanSearchText_ = WindowText(controls_.ebNow);
  worker_ = std::make_unique<SearchThreadHost>(
      scanSearchText_, [this](const TResult& hit) { SearchMatch(hit); },
      [this](std::int32_t keys, std::int32_t matches) { SearchProgress(keys, matches); });
  worker_->SetOnTerminate([this] { Guard([this] { SearchDone(); }); });
  worker_->Resume();
}

void TMainForm::SearchMatch(const TResult& hit) {
  // An invalid value comes back through onRecorded.
  scan_.SearchMatch(hit);
}

void TMainForm::SearchProgress(std::int32_t keysSearched, std::int32_t matchCount) {
  (void)matchCount;
  scanShown_.Progress(
      Format("Errors: %d, Keys searched: %d", scan_.HitCount(), static_cast<int>(keysSearched)));
}

void TMainForm::SearchDone() {
  scanShown_.Ended();
  scan_.CloseLog();  // the file holds the whole log; nobody should find it held open between scans
  const bool finished = worker_ && worker_->Thread().StopReason == srFinished;
  const std::string text = finished ? Format("Found %d items", scan_.HitCount())
                                    : Format("Found %d items before being stopped",
                                             static_cast<int>(scan_.Results().size()));
  SetWindowTextA(controls_.lblSearch, text.c_str());
  SetStatusText(text);
  // The worker is inside its own termination call; let it go once that has returned.
  retiredWorker_ = std::move(worker_);
  PostMessageA(hwnd_, kMsgReleaseWorker, 0, 0);
  SetPageEnabled(true);
  ShowWindow(controls_.button1, SW_SHOW);
  ShowWindow(controls_.button2, SW_SHOW);
  if (scan_.HitCount() > 0) ShowWindow(controls_.button3, SW_SHOW);
  FocusIfLost(controls_.sbSearchE);
  if (scan_.LogFailed()) PostMessageA(hwnd_, kMsgShowLogFailure, 0, 0);
}

void TMainForm::ClearResults() {
  scan_.ClearResults();
  results_.Clear();
  ShowTicked();
}

void TMainForm::ShowTicked() {
  const ResultMarks& marks = results_.Marks();
  const std::string text =
      marks.Size() == 0 ? std::string()
                        : Format("%d of %d items ticked", marks.TickedCount(),
                                 static_cast<int>(marks.Size()));
  if (WindowText(controls_.lblTicked) != text) SetWindowTextA(controls_.lblTicked, text.c_str());
}

void TMainForm::MarksChanged(int index, bool alwaysLeave) {
  ShowTicked();
  if (!alwaysLeave || index < 0) return;
  const auto i = static_cast<std::size_t>(index);
  const HitStore::Record& e = scan_.Results().Record(i);
  alwaysLeave_.Set(e.Root, std::string(e.KeyPath), std::string(e.ValueName),
                   results_.Marks().AlwaysLeft(i));
  Guard([this] { alwaysLeave_.Save(fs_, AlwaysLeavePath(options_.files)); });
}

void TMainForm::SetPageEnabled(bool enabled) {
  // Children from the last to the first; containers first get the same visit.
  auto visit = [&](auto&& self, HWND parent) -> void {
    std::vector<HWND> children;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      children.push_back(c);
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      if (GetWindow(*it, GW_CHILD)) self(self, *it);
      // The labels that show the scan's live counts stay readable: a disabled static control
      // draws its text greyed.
      if (*it == controls_.label1 || *it == controls_.label2 || *it == controls_.label3) continue;
      EnableWindow(*it, enabled ? TRUE : FALSE);
    }
    ApplyRestoreRule();
  };
  visit(visit, controls_.tsEasy);
}

void TMainForm::ApplyRestoreRule() {
  EnableWindow(controls_.button4, FALSE);
  WinBackupFiles files;
  if (!RestoreFolder(options_.files, files).empty()) EnableWindow(controls_.button4, TRUE);
}

void TMainForm::Button3Click() {
  if (repairRunning_) {
    StopRepair();  // the button reads "Stop" while the run goes on
    return;
  }
  if (worker_) return;
  if (!options_.files.writable) {
    MessageBoxA(hwnd_, Format(kRepairCannotRun, options_.files.folder.c_str()).c_str(),
                kApplicationTitle, MB_OK | MB_ICONERROR);
    return;
  }
  // An unattended Repair may be changing the registry and the backups right now.
  const RepairLock lock;
  if (!lock.Held()) {
    MessageBoxA(hwnd_, "Another Repair is running. Try again when it has ended.",
                kApplicationTitle, MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::vector<RepairEntry> entries = RecordedEntries(scan_, scan_.FirstShownRow());
  const ResultMarks& marks = results_.Marks();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].ticked = marks.Ticked(i);
    entries[i].alwaysLeave = marks.AlwaysLeft(i);
  }
  std::vector<EntryResult> outcomes;
  std::exception_ptr failure;
  {
    // Nothing else may touch the hit table or the backup file while the run reads and writes
    // them.
    repairRunning_ = true;
    // A log-off waits for the run (OnQueryEndSession); Windows shows the user why.
    ShutdownBlockReasonCreate(hwnd_, L"Calvorin is repairing the registry and writes its backup "
                                     L"of the changed values when the run ends.");
    RepairControls ui(controls_.RepairSet(hwnd_), [this](UINT only) { ProcessMessages(only); });
    runningRepair_ = &ui;
    const ScopeExit ran([this] {
      repairRunning_ = false;
      runningRepair_ = nullptr;
      SetWindowTextA(controls_.button3, "&Repair");
      ShutdownBlockReasonDestroy(hwnd_);
    });
    EnableWindow(controls_.sbSearchE, FALSE);
    EnableWindow(controls_.button4, FALSE);
    // Repair becomes Stop for the run. "S&top": "&Stop" would share Search's access key.
    SetWindowTextA(controls_.button3, "S&top");
    FocusIfLost(nullptr);
    WinBackupFiles files;
    WinFileSecurity security;
    const RepairOptions options = SystemRepairOptions(scanSearchText_, security);
    try {
      outcomes =
          RunRepair(entries, SystemRegistry(), fs_, files, ui, options_.files.folder, options)
              .entries;
    } catch (...) {
      failure = std::current_exception();
    }
  }
  EnableWindow(controls_.sbSearchE, TRUE);
  ApplyRestoreRule();
  if (!failure) results_.ShowOutcomes(std::move(outcomes));
  FocusIfLost(controls_.sbSearchE);
  // The failure is shown before a close asked for during the run: the box's own message loop
  // would otherwise take the close, and the window would go with the box unseen.
  if (failure) Guard([&] { std::rethrow_exception(failure); });
  if (closeAfterRepair_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TMainForm::StopRepair() {
  if (runningRepair_) runningRepair_->RequestStop();
}

void TMainForm::Button4Click() {
  if (repairRunning_) return;
  // The latest backup; with earlier runs kept beside it, the user picks the run first.
  WinBackupFiles files;
  std::string folder = RestoreFolder(options_.files, files);
  if (folder.empty()) folder = options_.files.folder;
  std::string chosen = BackupPath(folder);
  const std::vector<KeptRun> runs = ListKeptRuns(files, folder);
  if (runs.size() > 1) {
    const std::optional<std::string> run = ChooseRunToRestore(hwnd_, runs);
    if (!run) return;
    chosen = *run;
  }
  std::string question = "This will restore all keys deleted to Windows Registry, are you sure?";
  // Not this start's own backups: those an earlier start wrote beside the program.
  if (folder != options_.files.folder) {
    question = Format(kBackupFromOtherPlace, chosen.c_str()) + question;
  }
  // "No" is the default: Enter pressed by mistake imports nothing.
  if (MessageBoxA(hwnd_, question.c_str(), "Confirm",
                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
    return;
  }
  const std::string failure = RestoreFailureText(OpenBackupWithShell(chosen));
  if (!failure.empty()) MessageBoxA(hwnd_, failure.c_str(), kApplicationTitle, MB_OK);
}

}  // namespace calvorin::win32
