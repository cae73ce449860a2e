// The window's placement as the settings file keeps it.
#pragma once

#include <windows.h>

#include "app/settings.h"

namespace calvorin::win32 {

// The window's placement now (GetWindowPlacement), in the settings file's form.
WindowPlacementRecord PlacementOf(HWND window);
// Applies a placement in the settings file's form (SetWindowPlacement).
void ApplyPlacement(HWND window, const WindowPlacementRecord& placement);
// Places the window as the settings file says: centred in the work area by default, the saved
// placement when the file has one. The saved figures are in the pixels of the screen they were
// saved on, as Windows keeps a placement.
void RestoreSavedPlacement(HWND window, IniStore& ini);

}  // namespace calvorin::win32
