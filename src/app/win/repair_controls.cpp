#include "app/win/repair_controls.h"

#include <commctrl.h>

namespace calvorin::win32 {
namespace {

// Input, posted and sent messages, timers: everything but WM_PAINT.
constexpr UINT kNoPaint = PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;

// The parts that change per entry, kept for the next frame.
constexpr unsigned kPerEntry =
    RepairView::kLabel3 | RepairView::kEdit | RepairView::kPosition | RepairView::kStatus;

}  // namespace

void RepairControls::Begun(int total) {
  view_.Begun(total);
  Show();
}

void RepairControls::ItemStarted(const std::string& status) {
  view_.ItemStarted(status);
  Show();
  ProcessMessages();
}

void RepairControls::ItemDone(int done) {
  view_.ItemDone(done);
  Show();
  ProcessMessages();
}

void RepairControls::Searching(const std::string& status) {
  view_.Searching(status);
  Show();
  ProcessMessages();
}

void RepairControls::Working(const std::string& entry) {
  view_.Working(entry);
  Show();
}

bool RepairControls::SearchMovedFiles() {
  return SendMessageA(c_.extra, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool RepairControls::StopRequested() {
  // Asked after every entry, right after the entry's own turn at the messages: a Stop or an Esc
  // waits a few milliseconds at most, and 10,000 entries do not pay 10,000 more trips to the
  // window manager.
  if (GetTickCount64() - lastTurn_ >= kStopLatencyMs) ProcessMessages();
  return stop_;
}

void RepairControls::Finished(const RepairOutcome& outcome) {
  view_.Finished(outcome);
  Show();
}

void RepairControls::Failed(bool backupExists) {
  view_.Failed(backupExists);
  Show();
}

void RepairControls::Show() {
  const unsigned changed = view_.TakeChanges();
  kept_ |= changed & kPerEntry;
  const unsigned now = changed & ~kPerEntry;
  if (now == 0) return;
  ShowKept();
  const RepairScreen& s = view_.Screen();
  if (now & RepairView::kLabel1) SetWindowTextA(c_.label1, s.label1.c_str());
  if (now & RepairView::kLabel2) SetWindowTextA(c_.label2, s.label2.c_str());
  if (now & RepairView::kRange) {
    SendMessageA(c_.progress, PBM_SETRANGE32, static_cast<WPARAM>(s.rangeMin), s.rangeMax);
  }
  if (now & RepairView::kNote) SetWindowTextA(c_.label4, s.note.c_str());
  // What is hidden goes first: Label4 lies where Edit1 is.
  for (const bool visible : {false, true}) {
    auto show = [&](unsigned part, bool shown, HWND control) {
      if ((now & part) && shown == visible) ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
    };
    show(RepairView::kProgressVisible, s.progressVisible, c_.progress);
    show(RepairView::kEditVisible, s.editVisible, c_.edit);
    show(RepairView::kNoteVisible, s.noteVisible, c_.label4);
  }
  if (now & RepairView::kRestore) EnableWindow(c_.restore, s.restoreEnabled);
  if (now & RepairView::kRepair) ShowWindow(c_.repair, s.repairHidden ? SW_HIDE : SW_SHOW);
  if (now & RepairView::kWait) SetCursor(LoadCursor(nullptr, s.wait ? IDC_WAIT : IDC_ARROW));
}

void RepairControls::ProcessMessages() {
  lastTurn_ = GetTickCount64();
  if (frame_.Due()) {
    ShowKept();
    // Only what changed is painted: invalidating the whole window would repaint the same
    // pixels at a cost of tens of milliseconds a frame under Wine.
    RedrawWindow(c_.window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    processMessages_(0);
  } else {
    processMessages_(kNoPaint);
  }
}

void RepairControls::ShowKept() {
  const RepairScreen& s = view_.Screen();
  if (kept_ & RepairView::kLabel3) SetWindowTextA(c_.label3, s.label3.c_str());
  if (kept_ & RepairView::kEdit) SetWindowTextA(c_.edit, s.edit.c_str());
  if (kept_ & RepairView::kStatus) {
    SendMessageA(c_.status, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(s.status.c_str()));
  }
  if (kept_ & RepairView::kPosition) {
    SendMessageA(c_.progress, PBM_SETPOS, static_cast<WPARAM>(s.position), 0);
  }
  kept_ = 0;
}

}  // namespace calvorin::win32
