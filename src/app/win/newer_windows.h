// What Windows versions after 7 added, looked up at run time: the program runs from Windows 7,
// where these calls are missing and a direct import would stop it from starting.
#pragma once

#include <windows.h>

namespace calvorin::win32 {

// The DPI of the monitor `window` is on (GetDpiForWindow, Windows 10 1607); the system DPI
// where the call is missing.
int WindowDpi(HWND window);
// The DPI of `monitor` (GetDpiForMonitor, Windows 8.1); the system DPI where it is missing.
int MonitorDpi(HMONITOR monitor);
// The system DPI: the screen's LOGPIXELSY, 96 when it cannot be read.
int SystemDpi();

}  // namespace calvorin::win32
