#include "app/win/scan_controls.h"

#include <commctrl.h>

namespace calvorin::win32 {

void ScanControls::Begun(const ScanControlSet& controls) {
  c_ = controls;
  running_ = true;
  progressPending_ = false;
  frame_.Restart();
  SetTimer(c_.window, kTimerId, FrameClock::kFrameMs, nullptr);
}

void ScanControls::Progress(std::string text) {
  progress_ = std::move(text);
  progressPending_ = true;
  ShowIfDue();
}

void ScanControls::OnTimer() {
  frame_.Mark();
  Show();
}

void ScanControls::Ended() {
  running_ = false;
  KillTimer(c_.window, kTimerId);
  Show();
}

void ScanControls::ShowIfDue() {
  if (!running_) {
    Show();
    return;
  }
  if (!frame_.Due()) return;
  Show();
  // The timer stands in for reports that stop coming, a frame after the last frame shown.
  // Restarting it here keeps it from showing a second frame within this one.
  SetTimer(c_.window, kTimerId, FrameClock::kFrameMs, nullptr);
}

void ScanControls::Show() {
  showNew_();
  if (!progressPending_) return;
  progressPending_ = false;
  SendMessageA(c_.status, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(progress_.c_str()));
  SetWindowTextA(c_.label1, progress_.c_str());
}

}  // namespace calvorin::win32
