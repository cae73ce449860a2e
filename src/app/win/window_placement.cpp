#include "app/win/window_placement.h"

#include "app/win/newer_windows.h"

namespace calvorin::win32 {

WindowPlacementRecord PlacementOf(HWND window) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(window, &wp);
  WindowPlacementRecord p;
  p.normal = {wp.rcNormalPosition.left, wp.rcNormalPosition.top, wp.rcNormalPosition.right,
              wp.rcNormalPosition.bottom};
  p.minX = wp.ptMinPosition.x;
  p.minY = wp.ptMinPosition.y;
  p.maxX = wp.ptMaxPosition.x;
  p.maxY = wp.ptMaxPosition.y;
  p.showCmd = static_cast<std::int32_t>(wp.showCmd);
  p.flags = static_cast<std::int32_t>(wp.flags);
  p.dpi = WindowDpi(window);
  return p;
}

void ApplyPlacement(HWND window, const WindowPlacementRecord& p) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  wp.rcNormalPosition = {p.normal.left, p.normal.top, p.normal.right, p.normal.bottom};
  wp.ptMinPosition = {p.minX, p.minY};
  wp.ptMaxPosition = {p.maxX, p.maxY};
  wp.showCmd = static_cast<UINT>(p.showCmd);
  wp.flags = static_cast<UINT>(p.flags);
  SetWindowPlacement(window, &wp);
}

void RestoreSavedPlacement(HWND window, IniStore& ini) {
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT bounds{};
  GetWindowRect(window, &bounds);
  WindowPlacementRecord p =
      ReadPlacement(ini, {work.left, work.top, work.right, work.bottom},
                    bounds.right - bounds.left, bounds.bottom - bounds.top, PlacementOf(window));
  // A placement's figures are workspace coordinates: screen coordinates less the primary
  // monitor's work area's offset from its top left (the screen's origin).
  const PlacementRect& n = p.normal;
  RECT screen{n.left + work.left, n.top + work.top, n.right + work.left, n.bottom + work.top};
  // The monitor the window was on, or the nearest one when it is gone (negative coordinates
  // name a monitor left of or above the primary one), with its own DPI and work area.
  HMONITOR monitor = MonitorFromRect(&screen, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(monitor, &info)) info.rcWork = work;
  const RECT& w = info.rcWork;
  const PlacementRect fitted = FitToWorkArea({screen.left, screen.top, screen.right, screen.bottom},
                                             {w.left, w.top, w.right, w.bottom}, p.dpi,
                                             MonitorDpi(monitor));
  p.normal = {fitted.left - work.left, fitted.top - work.top, fitted.right - work.left,
              fitted.bottom - work.top};
  ApplyPlacement(window, p);
}

}  // namespace calvorin::win32
