// RepairControls: the scan page's controls as a Repair run drives them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/win/frame_clock.h"
#include "repair/repair_ui.h"
#include "repair/repair_view.h"

namespace calvorin::win32 {

// The controls a run shows its work in, and the window they are on.
struct RepairControlSet {
  HWND window = nullptr;
  HWND label1 = nullptr, label2 = nullptr, label3 = nullptr;
  HWND label4 = nullptr;    // the note on refused changes, shown only when there is one
  HWND progress = nullptr;  // pb1
  HWND edit = nullptr;      // Edit1: the folder being searched
  HWND extra = nullptr;     // CheckBox1
  HWND repair = nullptr;    // Button3
  HWND restore = nullptr;   // Button4
  HWND status = nullptr;    // StatusBar1
};

// The run's events as the scan page shows them are RepairView's (repair/repair_view.h); this
// sets the controls from its screen.
// ItemStarted, ItemDone, Searching and StillSearching let the window handle its messages.
//
// Repair reports every entry and every folder it visits. Setting a control's text or the
// progress position is expensive (Wine's static and edit controls paint themselves at once on
// WM_SETTEXT), and a whole-window repaint each time cost far more than the work itself: a
// thousand entries took over half a minute of painting alone. So the three texts that change
// per entry (Label3, Edit1, the status bar and the progress position) are kept and shown once per frame: when
// the last frame is older than FrameClock::kFrameMs, the latest of them go to their controls
// and everything on the window that needs it is painted at once; in between, messages are
// processed but painting waits. Every other change (labels 1 and 2, visibility, the buttons,
// the cursor) first shows the kept ones, so the window ends in exactly the state the run left
// and the user sees the same sequence of states, only at most ten times a second.
class RepairControls : public RepairUi {
 public:
  // `processMessages(only)` handles the window's pending messages; `only` (PM_QS_* flags)
  // limits which kinds, 0 takes all.
  RepairControls(const RepairControlSet& controls, std::function<void(UINT only)> processMessages)
      : c_(controls), processMessages_(std::move(processMessages)) {}
  ~RepairControls() override { ShowKept(); }
  RepairControls(const RepairControls&) = delete;
  RepairControls& operator=(const RepairControls&) = delete;

  void Begun(int total) override;
  void ItemStarted(const std::string& status) override;
  void ItemDone(int done) override;
  void Searching(const std::string& status) override;
  void Working(const std::string& entry) override;
  void StillSearching() override { ProcessMessages(); }
  bool SearchMovedFiles() override;
  // Handles the window's pending messages (a press of Stop among them) and answers.
  bool StopRequested() override;
  void Finished(const RepairOutcome& outcome) override;
  void Failed(bool backupExists) override;

  // The user asked the run to stop (Stop, Esc, closing the window): it ends after this entry.
  void RequestStop() { stop_ = true; }

 private:
  // What the run's latest event changed on the screen: the texts that change per entry are kept
  // for the next frame, everything else goes to its control at once, after the kept ones.
  void Show();
  // Handles the window's pending messages; painting only when a frame is due.
  void ProcessMessages();
  void ShowKept();

  RepairControlSet c_;
  std::function<void(UINT)> processMessages_;
  RepairView view_;
  unsigned kept_ = 0;  // the parts of the screen not shown yet (RepairView::Part)
  FrameClock frame_;
  // When the run last let the window handle its messages; StopRequested lets it again only
  // after this long.
  static constexpr ULONGLONG kStopLatencyMs = 10;
  ULONGLONG lastTurn_ = 0;
  bool stop_ = false;
};

}  // namespace calvorin::win32
