// What the tests reach of the main window beyond its messages.
#pragma once

#include "app/win/main_form.h"

namespace calvorin::testing {

struct MainFormAccess {
  // The hit table, results list and log of the window's scans; a hit fed here is listed.
  static InvalidReferenceScan& Scan(win32::TMainForm& form) { return form.scan_; }
  // The key preview every message loop of the window runs.
  static bool PreTranslate(win32::TMainForm& form, MSG& msg) { return form.PreTranslate(msg); }
  static void SetRepairRunning(win32::TMainForm& form, bool running) {
    form.repairRunning_ = running;
  }
};

}  // namespace calvorin::testing
