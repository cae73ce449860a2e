// The benchmarks' clock: seconds from QueryPerformanceCounter.
#pragma once

#include <windows.h>

namespace bench {

inline double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace bench
