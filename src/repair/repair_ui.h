// What a repair run shows while it works, and the window messages it lets through meanwhile.
#pragma once

#include <string>

namespace calvorin {

// The controls of the scan page that a run drives.
class RepairUi {
 public:
  virtual ~RepairUi() = default;
  virtual void SetLabel1(const std::string& text) = 0;
  virtual void SetLabel2(const std::string& text) = 0;
  virtual void SetLabel3(const std::string& text) = 0;
  virtual void SetProgressRange(int min, int max) = 0;  // pb1
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetEditText(const std::string& text) = 0;  // Edit1
  virtual void SetEditVisible(bool visible) = 0;
  virtual bool ExtraChecked() = 0;  // CheckBox1, read afresh for every entry
  // Repaints the main window at once, then handles pending window messages.
  virtual void RepaintAndProcessMessages() = 0;
  virtual void ProcessMessages() = 0;
  virtual void SetWaitCursor(bool wait) = 0;  // hourglass or the default cursor
  virtual void EnableRestore() = 0;           // Button4
  virtual void HideRepair() = 0;              // Button3
};

}  // namespace calvorin
