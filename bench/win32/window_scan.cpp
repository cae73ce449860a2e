// Drives calvorin.exe as a user would for one full scan: starts it, clicks Search, waits for
// "Found %d items" and prints how long that took from the click, the count and the last
// progress text; then closes the window.
// Usage: window_scan.exe <path of calvorin.exe> [options]
//   <file>.bmp  keep a screenshot of the Results page (with resize: after it)
//   memory      after "Found": the process's peak working set (peak_ws_kb=, ws_kb=)
//   resize      after "Found": one width change of the main window, which re-measures every
//               item of the results list; resize_seconds= is the synchronous SetWindowPos
//   repair      after "Found": Repair with Extra ticked, timed from the click to
//               "... Registry Items Cleaned" in Label1 (repair_seconds=, label1=, label2=)
//   noextra     with repair: Extra unticked, so the same run without any search of the drive
//   unattended  instead of the window: "calvorin.exe /scan" with its output in a pipe, timed
//               from the process's start to its "Found %d items" line (found=, seconds=; the
//               window's from_start_seconds= is its like, start-up and the click included);
//               with memory, its peak working set (sampled while it runs)
//   poll=<ms>   how often the end texts are read (default 5): each read is a message the
//               program's thread must answer, on the one CPU the benchmark pins everything to
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/win/control_ids.h"
#include "bench_clock.h"

namespace {

using namespace calvorin::win32;

struct FindData {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindMain(HWND hwnd, LPARAM lp) {
  auto* data = reinterpret_cast<FindData*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == data->pid && std::string(cls) == kMainFormClass && IsWindowVisible(hwnd)) {
    data->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

std::string Text(HWND hwnd) {
  char buffer[1024] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                      SMTO_ABORTIFHUNG, 5000, &got);
  return buffer;
}

HWND Descendant(HWND parent, int id) {
  HWND direct = GetDlgItem(parent, id);
  if (direct) return direct;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (HWND found = Descendant(child, id)) return found;
  }
  return nullptr;
}

// The whole screen as a 24-bit BMP.
bool SaveScreen(const char* path) {
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  std::string pixels(stride * static_cast<DWORD>(h), '\0');
  GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info, sizeof info, 1, out);
  std::fwrite(pixels.data(), 1, pixels.size(), out);
  std::fclose(out);
  return true;
}

using bench::Now;

}  // namespace

int RunUnattended(const char* exe, bool memory) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return 1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::string command = std::string("\"") + exe + "\" /scan";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  const double start = Now();
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::fprintf(stderr, "cannot start %s\n", exe);
    return 1;
  }
  CloseHandle(writeEnd);
  std::string out;
  double seconds = -1;
  char buffer[512];
  DWORD got = 0;
  // Wine answers zeroes for the counters of a process that has ended: the peak is sampled while
  // it runs, as often as the window's end text is read.
  SIZE_T peak = 0;
  for (bool ended = false; !ended;) {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc) && pmc.PeakWorkingSetSize > peak) {
      peak = pmc.PeakWorkingSetSize;
    }
    ended = WaitForSingleObject(pi.hProcess, 5) == WAIT_OBJECT_0;
    DWORD avail = 0;
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
           ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      out.append(buffer, got);
      if (seconds < 0 && out.find("Found ") != std::string::npos) seconds = Now() - start;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  int count = -1;
  const size_t at = out.find("Found ");
  if (at != std::string::npos) std::sscanf(out.c_str() + at, "Found %d", &count);
  std::printf("found=%d seconds=%.3f exit=%lu\n", count, seconds, static_cast<unsigned long>(code));
  if (memory) {
    std::printf("after_found peak_ws_kb=%lu\n", static_cast<unsigned long>(peak / 1024));
  }
  return 0;
}

void PrintMemory(HANDLE process, const char* when) {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  if (GetProcessMemoryInfo(process, &pmc, sizeof pmc)) {
    std::printf("%s peak_ws_kb=%lu ws_kb=%lu pagefile_kb=%lu\n", when,
                static_cast<unsigned long>(pmc.PeakWorkingSetSize / 1024),
                static_cast<unsigned long>(pmc.WorkingSetSize / 1024),
                static_cast<unsigned long>(pmc.PagefileUsage / 1024));
  } else {
    std::printf("%s memory=unavailable error=%lu\n", when, GetLastError());
  }
}

// Waits until the window's thread has handled everything sent before (a send is queued behind
// the messages already being handled).
void Sync(HWND hwnd) {
  DWORD_PTR got = 0;
  SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 600000, &got);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_scan <calvorin.exe>\n");
    return 2;
  }
  const char* shot = nullptr;
  bool memory = false, resize = false, repair = false, extra = true, unattended = false;
  DWORD poll = 5;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "memory") {
      memory = true;
    } else if (a == "resize") {
      resize = true;
    } else if (a == "repair") {
      repair = true;
    } else if (a == "unattended") {
      unattended = true;
    } else if (a == "noextra") {
      extra = false;
    } else if (a.rfind("poll=", 0) == 0) {
      poll = static_cast<DWORD>(std::atoi(a.c_str() + 5));
    } else {
      shot = argv[i];
    }
  }
  if (unattended) return RunUnattended(argv[1], memory);
  std::string command = std::string("\"") + argv[1] + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const double created = Now();
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::fprintf(stderr, "cannot start %s\n", argv[1]);
    return 1;
  }
  FindData data{pi.dwProcessId, nullptr};
  for (int i = 0; i < 3000 && !data.found; ++i) {
    EnumWindows(FindMain, reinterpret_cast<LPARAM>(&data));
    if (!data.found) Sleep(10);
  }
  if (!data.found) {
    std::fprintf(stderr, "no main window\n");
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  HWND search = Descendant(data.found, kIdSbSearchE);
  HWND found = Descendant(data.found, kIdLblSearch);
  HWND label1 = Descendant(data.found, kIdLabel1);
  const double start = Now();
  PostMessageA(search, BM_CLICK, 0, 0);
  std::string end;
  for (;;) {
    end = Text(found);
    if (end.rfind("Found ", 0) == 0) break;
    if (Now() - start > 1800) {
      std::fprintf(stderr, "no end text after 30 minutes\n");
      TerminateProcess(pi.hProcess, 1);
      return 1;
    }
    Sleep(poll);
  }
  const double seconds = Now() - start;
  int count = -1;
  std::sscanf(end.c_str(), "Found %d", &count);
  std::printf("found=%d seconds=%.3f end=\"%s\" progress=\"%s\" from_start_seconds=%.3f\n", count,
              seconds, end.c_str(), Text(label1).c_str(), Now() - created);
  std::fflush(stdout);
  if (memory) PrintMemory(pi.hProcess, "after_found");
  if (shot || resize) {
    PostMessageA(Descendant(data.found, kIdButton2), BM_CLICK, 0, 0);
    Sync(data.found);
    Sleep(1500);
  }
  if (shot && !resize) SaveScreen(shot);
  if (resize) {
    RECT r{};
    GetWindowRect(data.found, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    Sync(data.found);
    const double t0 = Now();
    // SetWindowPos on another thread's window is sent, so this returns after WM_SIZE ran.
    SetWindowPos(data.found, nullptr, 0, 0, w + 120, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Sync(data.found);
    const double grow = Now() - t0;
    const double t1 = Now();
    SetWindowPos(data.found, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Sync(data.found);
    const double shrink = Now() - t1;
    std::printf("resize_seconds=%.3f shrink_seconds=%.3f width=%d->%d\n", grow, shrink, w, w + 120);
    if (shot) {
      // The list as the two re-measures left it, painted.
      Sleep(1500);
      SaveScreen(shot);
    }
    if (memory) PrintMemory(pi.hProcess, "after_resize");
  }
  if (repair) {
    PostMessageA(Descendant(data.found, kIdButton1), BM_CLICK, 0, 0);
    Sync(data.found);
    HWND checkBox1 = Descendant(data.found, kIdCheckBox1);
    DWORD_PTR checked = 0;
    SendMessageTimeoutA(checkBox1, BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &checked);
    if ((checked == BST_CHECKED) != extra) {
      PostMessageA(checkBox1, BM_CLICK, 0, 0);
      Sync(data.found);
    }
    const std::string before = Text(label1);
    const double t0 = Now();
    PostMessageA(Descendant(data.found, kIdButton3), BM_CLICK, 0, 0);
    std::string text;
    for (;;) {
      text = Text(label1);
      if (text != before && text.find("Registry Items Cleaned") != std::string::npos) break;
      if (Now() - t0 > 1800) {
        std::fprintf(stderr, "no \"Registry Items Cleaned\" after 30 minutes\n");
        TerminateProcess(pi.hProcess, 1);
        return 1;
      }
      Sleep(poll);
    }
    std::printf("repair_seconds=%.3f extra=%d label1=\"%s\" label2=\"%s\"\n", Now() - t0,
                extra ? 1 : 0, text.c_str(), Text(Descendant(data.found, kIdLabel2)).c_str());
    if (memory) PrintMemory(pi.hProcess, "after_repair");
  }
  PostMessageA(data.found, WM_CLOSE, 0, 0);
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}
