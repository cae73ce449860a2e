#include "app/win/repair_controls.h"

#include <commctrl.h>

namespace calvorin::win32 {
namespace {

// Input, posted and sent messages, timers: everything but WM_PAINT.
constexpr UINT kNoPaint = PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;

}  // namespace

void RepairControls::Begun(int total) {
  SetWaitCursor(true);
  ShowWindow(c_.label4, SW_HIDE);
  SetProgressVisible(true);
  SetEditVisible(true);
  SetProgressRange(0, total);
  SetProgressPosition(0);
}

void RepairControls::ItemStarted(const std::string& status) {
  SetLabel3(status);
  ProcessMessages();
}

void RepairControls::ItemDone(int done) {
  SetProgressPosition(done);
  ProcessMessages();
}

void RepairControls::Searching(const std::string& status) {
  SetEditText(status);
  ProcessMessages();
}

bool RepairControls::SearchMovedFiles() {
  return SendMessageA(c_.extra, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void RepairControls::Finished(const RepairOutcome& outcome) {
  SetLabel1(outcome.cleaned);
  if (!outcome.fixed.empty()) SetLabel2(outcome.fixed);
  PutBack(outcome.backupExists);
  if (!outcome.unchanged.empty()) SetLabel3(outcome.unchanged);
  if (!outcome.rightsHint.empty()) {
    // After PutBack: Edit1, in the same place, is hidden by now.
    ShowKept();
    SetWindowTextA(c_.label4, outcome.rightsHint.c_str());
    ShowWindow(c_.label4, SW_SHOW);
  }
  HideRepair();
}

void RepairControls::Failed(bool backupExists) {
  PutBack(backupExists);
}

void RepairControls::PutBack(bool backupExists) {
  SetProgressVisible(false);
  SetEditVisible(false);
  if (backupExists) EnableRestore();
  SetLabel3("");
  SetWaitCursor(false);
}

void RepairControls::SetLabel1(const std::string& text) {
  ShowKept();
  SetWindowTextA(c_.label1, text.c_str());
}

void RepairControls::SetLabel2(const std::string& text) {
  ShowKept();
  SetWindowTextA(c_.label2, text.c_str());
}

void RepairControls::SetLabel3(const std::string& text) {
  label3_ = text;
  label3Kept_ = true;
}

void RepairControls::SetProgressRange(int min, int max) {
  ShowKept();
  SendMessageA(c_.progress, PBM_SETRANGE32, static_cast<WPARAM>(min), max);
}

void RepairControls::SetProgressPosition(int position) {
  position_ = position;
  positionKept_ = true;
}

void RepairControls::SetProgressVisible(bool visible) {
  ShowKept();
  ShowWindow(c_.progress, visible ? SW_SHOW : SW_HIDE);
}

void RepairControls::SetEditText(const std::string& text) {
  edit1_ = text;
  edit1Kept_ = true;
}

void RepairControls::SetEditVisible(bool visible) {
  ShowKept();
  ShowWindow(c_.edit, visible ? SW_SHOW : SW_HIDE);
}

void RepairControls::ProcessMessages() {
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

void RepairControls::SetWaitCursor(bool wait) {
  ShowKept();
  SetCursor(LoadCursor(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

void RepairControls::EnableRestore() {
  ShowKept();
  EnableWindow(c_.restore, TRUE);
}

void RepairControls::HideRepair() {
  ShowKept();
  ShowWindow(c_.repair, SW_HIDE);
}

void RepairControls::ShowKept() {
  if (label3Kept_) SetWindowTextA(c_.label3, label3_.c_str());
  if (edit1Kept_) SetWindowTextA(c_.edit, edit1_.c_str());
  if (positionKept_) SendMessageA(c_.progress, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
  label3Kept_ = edit1Kept_ = positionKept_ = false;
}

}  // namespace calvorin::win32
