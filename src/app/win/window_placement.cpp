#include "app/win/window_placement.h"

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
  ApplyPlacement(window, RestorePlacement(ini, {work.left, work.top, work.right, work.bottom},
                                          bounds.right - bounds.left, bounds.bottom - bounds.top,
                                          PlacementOf(window)));
}

}  // namespace calvorin::win32
