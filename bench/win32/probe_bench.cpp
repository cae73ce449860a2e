// Where an invalid entry's time goes: the seven probes of a missing candidate and the log line,
// each Win32 call timed on its own, over candidates shaped like the benchmark registry's
// ("C:\CalvorinProbeBench\<1-4 folders>\<name><n>.<ext>", some of the folders existing).
// Prints microseconds per call for each piece.
// Usage: probe_bench.exe [N]   (default 2000 candidates; writes probe_bench.TXT in the current
// directory and a folder tree under C:\CalvorinProbeBench)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/win/win_file_system.h"
#include "bench_clock.h"
#include "scan/invalid_reference_scan.h"
#include "scan/win/gdi_canvas.h"
#include "scan/wrapped_text.h"

namespace {

using bench::Now;

const char* const kWords[] = {"Acme",    "Contoso",  "Fabrikam", "Northwind", "Tailspin",
                              "Litware", "Settings", "Options",  "Recent",    "Install",
                              "Plugins", "Profiles", "Tools",    "Games",     "Data"};
constexpr unsigned kWordCount = sizeof kWords / sizeof kWords[0];
const char* const kExtensions[] = {".exe", ".txt", ".ico", ".cfg"};

unsigned Next(unsigned& seed) {
  seed = seed * 1103515245u + 12345u;
  return (seed >> 8) & 0xffffff;
}

std::vector<std::string> Candidates(int n) {
  const std::string root = "C:\\CalvorinProbeBench";
  ::CreateDirectoryA(root.c_str(), nullptr);
  unsigned seed = 7;
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    std::string folder = root;
    const unsigned depth = 1 + Next(seed) % 4;
    for (unsigned d = 0; d < depth; ++d) {
      folder += "\\";
      folder += kWords[Next(seed) % kWordCount];
      // Half the folders exist, as in the benchmark registry, where existing files make them.
      if (i % 2 == 0) ::CreateDirectoryA(folder.c_str(), nullptr);
    }
    std::string name = calvorin::LowerAscii(kWords[Next(seed) % kWordCount]);
    name += std::to_string(Next(seed) % 100000);
    name += kExtensions[Next(seed) % 4];
    out.push_back(folder + "\\" + name);
  }
  return out;
}

template <typename F>
void Time(const char* label, const std::vector<std::string>& items, int callsPerItem, F f) {
  const double t0 = Now();
  for (const auto& s : items) f(s);
  const double t1 = Now();
  std::printf("%-34s %8.1f us per item  %7.1f us per call\n", label,
              1e6 * (t1 - t0) / static_cast<double>(items.size()),
              1e6 * (t1 - t0) / static_cast<double>(items.size()) / callsPerItem);
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 2000;
  const auto items = Candidates(n);
  auto& fs = calvorin::win32::SystemFileSystem();
  int found = 0;
  // Warm-up, and a check that the candidates are missing, as invalid entries' are.
  for (const auto& s : items) found += calvorin::ProbeCandidate(fs, s) != calvorin::Probe::kNone;
  std::printf("candidates=%d found=%d\n", n, found);

  Time("ProbeCandidate (seven probes)", items, 7,
       [&](const std::string& s) { calvorin::ProbeCandidate(fs, s); });
  Time("FileExists (with error mode)", items, 1, [&](const std::string& s) { fs.FileExists(s); });
  Time("FolderExists (with error mode)", items, 1,
       [&](const std::string& s) { fs.FolderExists(s); });
  Time("FindFirstFileA + FindClose", items, 1, [&](const std::string& s) {
    WIN32_FIND_DATAA data;
    HANDLE h = ::FindFirstFileA(s.c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) ::FindClose(h);
  });
  std::vector<std::string> inFolder, noFolder;
  for (const auto& s : items) {
    const std::string parent = s.substr(0, s.find_last_of('\\'));
    const DWORD a = ::GetFileAttributesA(parent.c_str());
    (a != INVALID_FILE_ATTRIBUTES ? inFolder : noFolder).push_back(s);
  }
  std::printf("parent folder exists: %zu, missing: %zu\n", inFolder.size(), noFolder.size());
  for (const auto* set : {&inFolder, &noFolder}) {
    const char* which = set == &inFolder ? "(parent exists)" : "(parent missing)";
    Time((std::string("FindFirstFileA ") + which).c_str(), *set, 1, [&](const std::string& s) {
      WIN32_FIND_DATAA data;
      HANDLE h = ::FindFirstFileA(s.c_str(), &data);
      if (h != INVALID_HANDLE_VALUE) ::FindClose(h);
    });
    Time((std::string("GetFileAttributesA ") + which).c_str(), *set, 1,
         [&](const std::string& s) { ::GetFileAttributesA(s.c_str()); });
    Time((std::string("GetFileAttributesA lower ") + which).c_str(), *set, 1,
         [&](const std::string& s) { ::GetFileAttributesA(calvorin::LowerAscii(s).c_str()); });
    Time((std::string("GetFileAttributesA upper ") + which).c_str(), *set, 1,
         [&](const std::string& s) { ::GetFileAttributesA(calvorin::UpperAscii(s).c_str()); });
    Time((std::string("GetFileAttributesA less last ") + which).c_str(), *set, 1,
         [&](const std::string& s) { ::GetFileAttributesA(s.substr(0, s.size() - 1).c_str()); });
    Time((std::string("ProbeCandidate ") + which).c_str(), *set, 7,
         [&](const std::string& s) { calvorin::ProbeCandidate(fs, s); });
  }
  Time("GetFileAttributesA", items, 1,
       [&](const std::string& s) { ::GetFileAttributesA(s.c_str()); });
  Time("GetFileAttributesExA", items, 1, [&](const std::string& s) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    ::GetFileAttributesExA(s.c_str(), GetFileExInfoStandard, &data);
  });
  Time("SetThreadErrorMode x2", items, 2, [&](const std::string&) {
    DWORD old = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old);
    ::SetThreadErrorMode(old, nullptr);
  });
  Time("SetErrorMode x2", items, 2, [&](const std::string&) {
    const UINT old = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ::SetErrorMode(old);
  });

  // The whole per-entry work as it was (seven probes each under its own error mode, the log line
  // appended by open, write, close) against as it is, in alternating blocks so that a loaded
  // machine weighs on both alike.
  const auto oldProbes = [](const std::string& s) {
    const auto quietFile = [](const std::string& p) {
      DWORD old = 0;
      ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old);
      WIN32_FIND_DATAA data;
      HANDLE h = ::FindFirstFileA(p.c_str(), &data);
      const bool file =
          h != INVALID_HANDLE_VALUE && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      if (h != INVALID_HANDLE_VALUE) ::FindClose(h);
      ::SetThreadErrorMode(old, nullptr);
      return file;
    };
    const auto quietFolder = [](const std::string& p) {
      DWORD old = 0;
      ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old);
      const DWORD a = ::GetFileAttributesA(p.c_str());
      ::SetThreadErrorMode(old, nullptr);
      return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    };
    const std::string lower = calvorin::LowerAscii(s), upper = calvorin::UpperAscii(s);
    return quietFile(s) || quietFile(lower) || quietFile(upper) || quietFolder(s) ||
           quietFolder(s.substr(0, s.size() - 1)) || quietFolder(lower) || quietFolder(upper);
  };
  {
    const std::string oldLog = "probe_bench_old.TXT", newLog = "probe_bench_new.TXT";
    fs.WriteWholeFile(oldLog, "Memo2\r\n");
    fs.WriteWholeFile(newLog, "Memo2\r\n");
    auto stream = fs.OpenForAppend(newLog);
    double oldTime = 0, newTime = 0;
    int disagree = 0;
    for (size_t block = 0; block < items.size(); block += 100) {
      const size_t end = std::min(items.size(), block + 100);
      double t0 = Now();
      for (size_t i = block; i < end; ++i) {
        disagree += oldProbes(items[i]);
        fs.AppendToFile(oldLog, items[i] + "\r\n");
      }
      double t1 = Now();
      for (size_t i = block; i < end; ++i) {
        disagree -= calvorin::ProbeCandidate(fs, items[i]) != calvorin::Probe::kNone;
        stream->Append(items[i] + "\r\n");
      }
      double t2 = Now();
      oldTime += t1 - t0;
      newTime += t2 - t1;
    }
    stream.reset();
    const double n = static_cast<double>(items.size());
    std::printf("per invalid entry: before %.1f us, now %.1f us (%.0f%% less); answers differ %d\n",
                1e6 * oldTime / n, 1e6 * newTime / n, 100 * (1 - newTime / oldTime), disagree);
    ::DeleteFileA(oldLog.c_str());
    ::DeleteFileA(newLog.c_str());
  }

  // Entries shaped like the invalid-entry benchmark registry's: 50 files to a folder, every
  // folder in one top folder that does not exist. Each piece of SearchMatch on its own, then the
  // whole of it (the log going to probe_bench_scan.TXT).
  {
    std::vector<std::string> gone;
    for (int i = 0; i < n; ++i) {
      gone.push_back(
          calvorin::Format("C:\\CalvorinProbeGone\\Folder%04d\\missing%06d.exe", i / 50, i));
    }
    std::printf("-- entries in a missing folder\n");
    Time("GetFileAttributesA as is", gone, 1,
         [&](const std::string& s) { ::GetFileAttributesA(s.c_str()); });
    Time("GetFileAttributesA lower", gone, 1,
         [&](const std::string& s) { ::GetFileAttributesA(calvorin::LowerAscii(s).c_str()); });
    Time("GetFileAttributesA upper", gone, 1,
         [&](const std::string& s) { ::GetFileAttributesA(calvorin::UpperAscii(s).c_str()); });
    Time("GetFileAttributesA less last", gone, 1,
         [&](const std::string& s) { ::GetFileAttributesA(s.substr(0, s.size() - 1).c_str()); });
    Time("ProbeCandidate", gone, 1, [&](const std::string& s) { calvorin::ProbeCandidate(fs, s); });
    calvorin::InvalidReferenceScan scan(fs, "probe_bench_scan.TXT");
    const std::string key = "HKEY_CURRENT_USER\\software\\calvorinprobebench";
    int recorded = 0;
    Time("SearchMatch (probes, log, store)", gone, 1, [&](const std::string& s) {
      recorded += scan.SearchMatch(
          calvorin::TResult(key, "Entry", s, 0, 0, 2, 0, 0, 2, calvorin::kHkeyCurrentUser));
    });
    scan.CloseLog();
    std::printf("recorded %d of %zu\n", recorded, gone.size());
    ::DeleteFileA("probe_bench_scan.TXT");
  }

  // The window's part of a recorded entry: the widths of its three texts' pieces, measured
  // with the list box's fonts on a DC got for the entry, on one DC kept throughout, and on a
  // memory DC.
  {
    HWND list = ::CreateWindowExA(0, "LISTBOX", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600,
                                  400, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    HFONT normal = ::CreateFontA(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_SWISS, "Arial");
    HFONT bold = ::CreateFontA(-13, 0, 0, 0, FW_BOLD, FALSE, TRUE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_SWISS, "Arial");
    const std::string key = "HKEY_CURRENT_USER\\software\\calvorinprobebench\\recent\\set00042";
    const calvorin::FontStyle match{true, true};
    const auto measure = [&](HDC dc, const std::string& data) {
      calvorin::WrapWidths widths;
      calvorin::win32::GdiCanvas canvas(dc, normal, bold);
      widths.Add(canvas, match, 0, 0, calvorin::kResultBreakChars, key);
      widths.Add(canvas, match, 0, 0, calvorin::kResultBreakChars, "Entry042");
      widths.Add(canvas, match, 2, 2, calvorin::kResultBreakChars, data);
    };
    std::printf("-- the window's measuring of one recorded entry\n");
    Time("GetDC + measure + ReleaseDC", items, 1, [&](const std::string& s) {
      HDC dc = ::GetDC(list);
      measure(dc, s);
      ::ReleaseDC(list, dc);
    });
    Time("GetDC + ReleaseDC", items, 1, [&](const std::string&) {
      HDC dc = ::GetDC(list);
      ::ReleaseDC(list, dc);
    });
    HDC kept = ::GetDC(list);
    Time("measure on a kept DC", items, 1, [&](const std::string& s) { measure(kept, s); });
    ::ReleaseDC(list, kept);
    HDC memory = ::CreateCompatibleDC(nullptr);
    Time("measure on a memory DC", items, 1, [&](const std::string& s) { measure(memory, s); });
    ::DeleteDC(memory);
    ::DestroyWindow(list);
    ::DeleteObject(normal);
    ::DeleteObject(bold);
  }

  const std::string log = "probe_bench.TXT";
  fs.WriteWholeFile(log, "Memo2\r\n");
  Time("AppendToFile (open, write, close)", items, 1,
       [&](const std::string& s) { fs.AppendToFile(log, s + "\r\n"); });
  HANDLE file = ::CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  Time("WriteFile on an open handle", items, 1, [&](const std::string& s) {
    const std::string line = s + "\r\n";
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  });
  ::CloseHandle(file);
  Time("CreateFileA + CloseHandle", items, 1, [&](const std::string&) {
    HANDLE h = ::CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ::CloseHandle(h);
  });
  ::DeleteFileA(log.c_str());
  return 0;
}
