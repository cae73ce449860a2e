// The window's placement as the settings file keeps it.
#pragma once

#include <windows.h>

#include "app/settings.h"

namespace calvorin::win32 {

// The window's placement now (GetWindowPlacement) and its DPI, in the settings file's form.
WindowPlacementRecord PlacementOf(HWND window);
// Applies a placement in the settings file's form (SetWindowPlacement).
void ApplyPlacement(HWND window, const WindowPlacementRecord& placement);
// Places the window as the settings file says: centred in the primary work area by default, the
// saved placement when the file has one, on the monitor it was saved on or the nearest one left,
// at the same physical size when that monitor's DPI is not the one saved.
void RestoreSavedPlacement(HWND window, IniStore& ini);

}  // namespace calvorin::win32
