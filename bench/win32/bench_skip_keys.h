// The keys a scan leaves out because they are another root seen a second time, found by the
// program's own start-up experiment where the tree has it (a simpler experiment otherwise: a
// temporary key made below the candidate path must appear below the other root). Shared by the
// scan and the bare walk so both walk the same keys.
#pragma once

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

// Built against trees from before the folders by subsystem too (bench/run --before).
#if __has_include("base/text.h")
#include "base/text.h"
#else
#include "core/text.h"
#endif

#if __has_include("search/root_equivalence.h")
#include "registry/win/win_registry.h"
#include "registry/win/win_system_info.h"
#include "search/root_equivalence.h"
#define CALVORIN_BENCH_ROOT_EQUIVALENCE 1
#elif __has_include("core/root_equivalence.h")
#include "core/root_equivalence.h"
#include "win32/win_registry.h"
#include "win32/win_system_info.h"
#define CALVORIN_BENCH_ROOT_EQUIVALENCE 1
#endif

namespace bench {

inline bool SameKeyByWrite(HKEY target, HKEY alias, const std::string& path) {
  HKEY base = nullptr;
  if (RegOpenKeyExA(alias, path.c_str(), 0, KEY_ALL_ACCESS, &base) != ERROR_SUCCESS) return false;
  const char* probe = "CalvorinBenchProbe{6B1E3C55}";
  HKEY made = nullptr;
  bool same = false;
  if (RegCreateKeyExA(base, probe, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &made,
                      nullptr) == ERROR_SUCCESS) {
    RegCloseKey(made);
    HKEY seen = nullptr;
    if (RegOpenKeyExA(target, probe, 0, KEY_READ, &seen) == ERROR_SUCCESS) {
      same = true;
      RegCloseKey(seen);
    }
    RegDeleteKeyA(base, probe);
  }
  RegCloseKey(base);
  return same;
}

// Entries as the program stores them: root name, backslash, path with ASCII letters upper-cased.
inline std::vector<std::string> FindSkipKeys() {
  std::vector<std::string> out;
#ifdef CALVORIN_BENCH_ROOT_EQUIVALENCE
  calvorin::win32::WinSystemInfo system;
  calvorin::FindRootEquivalents(out, calvorin::win32::SystemRegistry(), system);
  return out;
#endif
  auto add = [&](HKEY target, HKEY alias, const char* rootName, const std::string& path) {
    if (!SameKeyByWrite(target, alias, path)) return false;
    out.push_back(std::string(rootName) + "\\" + calvorin::UpperAscii(path));
    return true;
  };
  add(HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Classes");
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    if (RegEnumKeyExA(HKEY_USERS, i, name, &len, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    if (add(HKEY_CURRENT_USER, HKEY_USERS, "HKEY_USERS", std::string(name, len))) break;
  }
  for (const char* path : {"SYSTEM\\ControlSet001\\Hardware Profiles\\Current",
                           "SYSTEM\\ControlSet001\\Hardware Profiles\\0001",
                           "SYSTEM\\CurrentControlSet\\Hardware Profiles\\0001",
                           "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"}) {
    add(HKEY_CURRENT_CONFIG, HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", path);
  }
  return out;
}

// The list as FindSkipKeys left it in a file, one entry a line. The benchmark finds it once per
// registry: finding it writes to the registry, which makes wineserver save the whole registry a
// while later, in the middle of whatever is being measured then.
inline std::vector<std::string> ReadSkipKeys(const char* file) {
  std::vector<std::string> out;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

// Arguments shared by the benchmark programs: "findskip" prints the list and exits (true);
// "skipfile=<path>" reads it.
inline bool SkipKeysFromArgs(int argc, char** argv, std::vector<std::string>* skip) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "findskip") {
      for (const auto& entry : FindSkipKeys()) std::printf("%s\n", entry.c_str());
      return true;
    }
    if (arg.rfind("skipfile=", 0) == 0) *skip = ReadSkipKeys(arg.c_str() + 9);
  }
  return false;
}

inline double MillisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
         static_cast<double>(freq.QuadPart);
}

}  // namespace bench
