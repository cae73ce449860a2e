// The floor for a full registry scan: a bare enumeration walk of the five roots that reads every
// value's name and data, opening each key relative to its open parent (or, with "absolute", by
// its full path from the root). Prints the counts and the elapsed milliseconds.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

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

void WalkRelative(HKEY key, Counts& c) {
  ++c.keys;
  ReadValues(key, c);
  char name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    const LONG rc = RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    HKEY sub = nullptr;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      WalkRelative(sub, c);
      RegCloseKey(sub);
    }
  }
}

void WalkAbsolute(HKEY root, const std::string& path, Counts& c) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
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
  for (const auto& n : names) WalkAbsolute(root, path.empty() ? n : path + "\\" + n, c);
}

}  // namespace

int main(int argc, char** argv) {
  const bool absolute = argc > 1 && std::strcmp(argv[1], "absolute") == 0;
  const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG,
                        HKEY_CLASSES_ROOT};
  Counts c;
  LARGE_INTEGER f, t0, t1;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t0);
  for (HKEY root : roots) {
    if (absolute) {
      WalkAbsolute(root, "", c);
    } else {
      WalkRelative(root, c);
    }
  }
  QueryPerformanceCounter(&t1);
  const double ms = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                    static_cast<double>(f.QuadPart);
  std::printf("keys=%ld values=%ld bytes=%llu ms=%.0f\n", c.keys, c.values, c.bytes, ms);
  return 0;
}
