// Drives calvorin.exe as a user would for one full scan: starts it, clicks Search, waits for
// "Found %d items" and prints how long that took from the click, the count and the last
// progress text; then closes the window. Usage: window_scan.exe <path of calvorin.exe>
#include <windows.h>

#include <cstdio>
#include <string>

#include "win32/control_ids.h"

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

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_scan <calvorin.exe>\n");
    return 2;
  }
  std::string command = std::string("\"") + argv[1] + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
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
    Sleep(5);
  }
  const double seconds = Now() - start;
  int count = -1;
  std::sscanf(end.c_str(), "Found %d", &count);
  std::printf("found=%d seconds=%.3f end=\"%s\" progress=\"%s\"\n", count, seconds, end.c_str(),
              Text(label1).c_str());
  PostMessageA(data.found, WM_CLOSE, 0, 0);
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}
