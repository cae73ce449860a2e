#include "app/win/newer_windows.h"

#include "base/win/unique_handle.h"

namespace calvorin::win32 {
namespace {

template <typename F>
F Lookup(const char* module, const char* name) {
  HMODULE m = GetModuleHandleA(module);
  if (!m) m = LoadLibraryA(module);  // shcore.dll is not loaded by default
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

}  // namespace

int SystemDpi() {
  const WindowDc screen(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND window) {
  using Fn = UINT(WINAPI*)(HWND);
  static const Fn getDpiForWindow = Lookup<Fn>("user32.dll", "GetDpiForWindow");
  const int dpi = getDpiForWindow && window ? static_cast<int>(getDpiForWindow(window)) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

int MonitorDpi(HMONITOR monitor) {
  using Fn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const Fn getDpiForMonitor = Lookup<Fn>("shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  // MDT_EFFECTIVE_DPI (0): the scale the user chose for that monitor.
  if (getDpiForMonitor && monitor && SUCCEEDED(getDpiForMonitor(monitor, 0, &x, &y)) && y > 0) {
    return static_cast<int>(y);
  }
  return SystemDpi();
}

}  // namespace calvorin::win32
