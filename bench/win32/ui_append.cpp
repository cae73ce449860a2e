// What the window does per recorded result, apart from the program: appends N lines to a
// hidden multi-line edit control (as the invalid-path log's mirror is kept), or adds N items
// to a visible owner-drawn variable-height list box, setting each one's height and selecting
// it (as the results list is filled). Prints the time of every 1,000th step's block and the
// process's working set, to show whether the cost per step grows with the count.
// Usage: ui_append.exe edit|list <N>
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_clock.h"

namespace {

using bench::Now;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MEASUREITEM) {
    reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = 54;
    return TRUE;
  }
  if (msg == WM_DRAWITEM) return TRUE;
  return DefWindowProcA(hwnd, msg, wp, lp);
}

unsigned long WorkingSetKb() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return static_cast<unsigned long>(pmc.WorkingSetSize / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ui_append edit|list <N>\n");
    return 2;
  }
  const bool edit = std::strcmp(argv[1], "edit") == 0;
  const int n = std::atoi(argv[2]);
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "UiAppendBench";
  RegisterClassA(&wc);
  HWND main = CreateWindowA("UiAppendBench", "ui_append", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            640, 480, nullptr, nullptr, wc.hInstance, nullptr);
  HWND control =
      edit ? CreateWindowA("EDIT", "Memo2", WS_CHILD | ES_MULTILINE | WS_BORDER | WS_VSCROLL, 0, 0,
                           600, 400, main, nullptr, wc.hInstance, nullptr)
           : CreateWindowA("LISTBOX", "",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWVARIABLE |
                               LBS_NOINTEGRALHEIGHT,
                           0, 0, 600, 400, main, nullptr, wc.hInstance, nullptr);
  if (edit) SendMessageA(control, EM_SETLIMITTEXT, 0, 0);
  std::printf("start ws_kb=%lu\n", WorkingSetKb());
  double block = Now();
  const double start = block;
  for (int i = 0; i < n; ++i) {
    if (edit) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "\r\nHKEY_CURRENT_USER\\Software\\CalvorinInvalid\\Set%05d Entry%03d "
                    "C:\\CalvorinGone\\Folder%04d\\missing%06d.exe",
                    i / 100, i % 100, i / 50, i);
      const int end = GetWindowTextLengthA(control);
      SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(end), end);
      SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line));
    } else {
      SendMessageA(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(""));
      SendMessageA(control, LB_SETITEMHEIGHT, static_cast<WPARAM>(i), 54);
      SendMessageA(control, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if ((i + 1) % 1000 == 0) {
      const double t = Now();
      std::printf("%s count=%d block_ms=%.0f ws_kb=%lu\n", argv[1], i + 1, (t - block) * 1000,
                  WorkingSetKb());
      std::fflush(stdout);
      block = t;
    }
  }
  std::printf("%s total_ms=%.0f\n", argv[1], (Now() - start) * 1000);
  DestroyWindow(main);
  return 0;
}
