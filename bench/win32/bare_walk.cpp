// The floor for a full registry scan: a bare enumeration walk of the five roots that reads every
// value's name and data, opening each key relative to its open parent (or, with "absolute", by
// its full path from the root). Prints the counts and the elapsed milliseconds.
// With "skipfile=<file>" (written by "findskip") it leaves out the keys a scan leaves out
// (aliased roots), so it walks what the scan walks.
// Under WOW64 it walks the 64-bit view, as the program does (both views by their real paths).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_skip_keys.h"
#include "base/win/wow64.h"
#include "support/path_parts.h"

namespace {

const REGSAM gView = calvorin::win32::RegistryViewFlag();

std::vector<std::string> gSkip;  // full paths, upper case

bool Skipped(const std::string& full) {
  for (const auto& s : gSkip) {
    if (s.size() == full.size() && calvorin::testing::SameTextAscii(s, full)) return true;
  }
  return false;
}

struct Counts {
  long keys = 0;
  long values = 0;
  unsigned long long bytes = 0;
};

std::vector<BYTE> gData(1 << 16);
std::vector<char> gName(16384 + 1);

void ReadValues(HKEY key, Counts& c) {
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(gName.size());
    DWORD dataLen = static_cast<DWORD>(gData.size());
    DWORD type = 0;
    LONG rc = RegEnumValueA(key, i, gName.data(), &nameLen, nullptr, &type, gData.data(), &dataLen);
    if (rc == ERROR_MORE_DATA) {
      gData.resize(dataLen + 1);
      nameLen = static_cast<DWORD>(gName.size());
      dataLen = static_cast<DWORD>(gData.size());
      rc = RegEnumValueA(key, i, gName.data(), &nameLen, nullptr, &type, gData.data(), &dataLen);
    }
    // Stop at the end and at any other failure: some of Wine's keys (Perflib\009) answer every
    // index with an error, so skipping on would never end.
    if (rc != ERROR_SUCCESS) break;
    ++c.values;
    c.bytes += dataLen;
  }
}

void WalkRelative(HKEY key, std::string& full, Counts& c) {
  ++c.keys;
  ReadValues(key, c);
  char name[1024];
  const size_t at = full.size();
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    const LONG rc = RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    if (!gSkip.empty()) {
      full.append("\\").append(name, len);
      if (Skipped(full)) {
        ++c.keys;  // counted, as the scan counts the keys it leaves out
        full.resize(at);
        continue;
      }
    }
    HKEY sub = nullptr;
    if (RegOpenKeyExA(key, name, 0, KEY_READ | gView, &sub) == ERROR_SUCCESS) {
      WalkRelative(sub, full, c);
      RegCloseKey(sub);
    }
    full.resize(at);
  }
}

void WalkAbsolute(HKEY root, const std::string& rootName, const std::string& path, Counts& c) {
  if (!gSkip.empty() && !path.empty() && Skipped(rootName + "\\" + path)) {
    ++c.keys;
    return;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | gView, &key) != ERROR_SUCCESS) return;
  ++c.keys;
  ReadValues(key, c);
  std::vector<std::string> names;
  char name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    const LONG rc = RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, len);
  }
  RegCloseKey(key);
  for (const auto& n : names) WalkAbsolute(root, rootName, path.empty() ? n : path + "\\" + n, c);
}

}  // namespace

int main(int argc, char** argv) {
  bool absolute = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "absolute") == 0) absolute = true;
  }
  if (bench::SkipKeysFromArgs(argc, argv, &gSkip)) return 0;
  const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG,
                        HKEY_CLASSES_ROOT};
  const char* names[] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                         "HKEY_CURRENT_CONFIG", "HKEY_CLASSES_ROOT"};
  Counts c;
  LARGE_INTEGER f, t0, t1;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t0);
  for (int r = 0; r < 5; ++r) {
    std::string full = names[r];
    if (absolute) {
      WalkAbsolute(roots[r], full, "", c);
    } else {
      WalkRelative(roots[r], full, c);
    }
  }
  QueryPerformanceCounter(&t1);
  const double ms =
      1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
  std::printf("keys=%ld values=%ld bytes=%llu ms=%.0f\n", c.keys, c.values, c.bytes, ms);
  return 0;
}
