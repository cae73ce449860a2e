// ScanControls: what a running scan shows, the twin of RepairControls.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/win/frame_clock.h"

namespace calvorin::win32 {

// The controls a scan shows its progress in, and the window they are on.
struct ScanControlSet {
  HWND window = nullptr;
  HWND label1 = nullptr;  // the progress text
  HWND status = nullptr;  // StatusBar1: the progress text too
};

// A scan can report thousands of hits and progress points a second. Each new list item selected
// repaints the list, and Wine's static controls paint at once when their text changes, so doing
// it all per report cost more than the walk itself. The newest results and progress text are
// shown once per frame instead (on the first report after a frame's time, on a timer while the
// walk finds nothing, and at the end), in the same order and to the same final state: every
// result gets its item and height, the newest is selected, the labels show the last progress.
// Between scans every report is shown at once.
class ScanControls {
 public:
  // The window's timer that shows a frame while the walk reports nothing.
  static constexpr UINT_PTR kTimerId = 1;

  // `showNew` shows the results recorded since it last ran: their items and the ticked count.
  explicit ScanControls(std::function<void()> showNew) : showNew_(std::move(showNew)) {}

  // A scan starts, shown on `controls`: its reports are paced from now on.
  void Begun(const ScanControlSet& controls);
  // The newest progress text, and a result recorded: each shown when a frame is due.
  void Progress(std::string text);
  void Recorded() { ShowIfDue(); }
  // The window's kTimerId fired.
  void OnTimer();
  // The scan has ended: everything it reported is shown.
  void Ended();

 private:
  void ShowIfDue();
  void Show();

  ScanControlSet c_;
  std::function<void()> showNew_;
  FrameClock frame_;
  std::string progress_;
  bool progressPending_ = false;
  bool running_ = false;
};

}  // namespace calvorin::win32
