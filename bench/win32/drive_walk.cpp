// One plain walk of a drive: every folder listed depth first with FindFirstFile/FindNextFile,
// nothing else done per entry. The floor for anything that has to look at every file name.
// Usage: drive_walk.exe [<root>, default C:\]
// Prints: files=<n> folders=<n> ms=<n>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"

namespace {

using bench::Now;

}  // namespace

int main(int argc, char** argv) {
  std::string root = argc > 1 ? argv[1] : "C:\\";
  if (root.empty() || root.back() != '\\') root += '\\';
  long files = 0;
  long folders = 0;
  const double start = Now();
  std::vector<std::string> stack{root};
  while (!stack.empty()) {
    const std::string dir = std::move(stack.back());
    stack.pop_back();
    ++folders;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) continue;
    // Children pushed in reverse listing order, so they are visited in listing order.
    const size_t first = stack.size();
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (std::strcmp(fd.cFileName, ".") != 0 && std::strcmp(fd.cFileName, "..") != 0) {
          stack.push_back(dir + fd.cFileName + "\\");
        }
      } else {
        ++files;
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    for (size_t a = first, b = stack.size(); a + 1 < b; ++a, --b) std::swap(stack[a], stack[b - 1]);
  }
  std::printf("files=%ld folders=%ld ms=%.0f\n", files, folders, (Now() - start) * 1000);
  return 0;
}
