// One full scan as the program runs it: the core walk through the Win32 SearchThreadHost, with
// this (UI) thread pumping messages and analysing every hit, timed from the start of the walk to
// its termination handler. SkipKeys is filled first, as the program's start-up does.
//
// Usage: scan_bench [plain] [skipfile=<file>] | findskip
//   plain     walk the way the walk was first written (absolute opens, pairwise locale sort)
//   skipfile  SkipKeys as "findskip" wrote them (without it every key is walked, aliased
//             roots twice)
// Prints one line: keys=N hits=N invalid=N ms=N stop=N skip=N analysis_ms=N invalid_ms=N (the
// part of ms spent analysing hits on the UI thread, and the part of that spent on the hits that
// were recorded as invalid)
//
// The window version of this measurement (Search clicked, "Found %d items" read back) belongs
// beside this one once the main window exists: see bench/run, function measure_window_scan.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_skip_keys.h"
#if __has_include("search/search_thread.h")
#include "search/result.h"
#include "search/search_thread.h"
#include "search/win/locale_compare.h"
#include "search/win/search_thread_host.h"
#else  // a tree from before the folders by subsystem
#include "core/result.h"
#include "core/search_thread.h"
#include "win32/locale_compare.h"
#include "win32/search_thread_host.h"
#endif

// Built against older trees too (bench/run --before), which have only the plain walk or choose
// the walk by WalkMode in src, may lack the analysis, and whose walk may report a hit as its ten
// values instead of one TResult.
#if __has_include("support/plain_walk.h")
#include "registry/win/win_registry.h"
#include "support/plain_walk.h"
#define CALVORIN_BENCH_PLAIN_THREAD 1
#elif __has_include("search/name_order.h") || __has_include("core/name_order.h")
#define CALVORIN_BENCH_WALK_MODE 1
#endif
#if __has_include("scan/invalid_reference_scan.h")
#include "base/win/win_file_system.h"
#include "scan/invalid_reference_scan.h"
#define CALVORIN_BENCH_ANALYSIS 1
#elif __has_include("core/analysis.h")
#include "core/analysis.h"
#include "win32/win_file_system.h"
#define CALVORIN_BENCH_ANALYSIS 1
#endif

namespace {

using calvorin::TResult;

// A hit as the tree's walk reports it: one TResult, or its ten values.
const TResult& AsResult(const TResult& hit) {
  return hit;
}
template <typename... Values>
TResult AsResult(const Values&... values) {
  return TResult(values...);
}

#ifdef CALVORIN_BENCH_ANALYSIS
// The program's analysis of each hit: candidate, text tests, probes, hit table, results list and
// the invalid-path log ("rrr.TXT" in the current directory).
struct Analysis {
  bool Match(const TResult& hit) {
    ++hits;
    return Record(scan, hit, 0);
  }
  // The scan takes the hit as one TResult, or (older trees) as its ten values.
  template <typename Scan>
  static auto Record(Scan& scan, const TResult& hit, int) -> decltype(scan.SearchMatch(hit)) {
    return scan.SearchMatch(hit);
  }
  template <typename Scan>
  static bool Record(Scan& scan, const TResult& h, long) {
    return scan.SearchMatch(h.KeyPath, h.ValueName, h.DataText, h.KeyPos, h.NamePos, h.DataPos,
                            h.KeyLen, h.NameLen, h.DataLen, h.Root);
  }
  std::size_t Invalid() const { return scan.Results().size(); }

  long hits = 0;
  calvorin::InvalidReferenceScan scan{calvorin::win32::SystemFileSystem()};
};
#else
// Stands in for the invalid-reference analysis where the tree has none: cut the path that starts
// one character before the match, probe it on disk, and keep what is missing the way the scan
// keeps it (a result entry and a log line).
struct Analysis {
  bool Match(const TResult& hit) {
    ++hits;
    if (hit.DataPos < 2) return false;
    std::string candidate = calvorin::Copy(hit.DataText, hit.DataPos - 1, 1000);
    const auto cut = candidate.find_first_of("\",;|");
    if (cut != std::string::npos) candidate.resize(cut);
    const char drive = calvorin::UpperAscii(candidate[0]);
    if (drive != 'B' && drive != 'C' && drive != 'W') return false;
    if (GetFileAttributesA(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    log += candidate;
    log += "\r\n";
    results.push_back(hit);
    return true;
  }

  std::size_t Invalid() const { return results.size(); }

  long hits = 0;
  std::string log;
  std::vector<TResult> results;
};
#endif

void PumpUntil(const bool& done) {
  while (!done) {
    MsgWaitForMultipleObjectsEx(0, nullptr, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool plain = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "plain") == 0) plain = true;
  }
  calvorin::win32::InstallLocaleCompare();
  if (bench::SkipKeysFromArgs(argc, argv, &calvorin::SkipKeys())) return 0;

  Analysis analysis;
  LONGLONG matchTicks = 0;    // time spent in the analysis, on this thread
  LONGLONG invalidTicks = 0;  // the part of it spent on hits recorded as invalid
  std::int32_t lastProgress = 0;
  bool ended = false;
  const auto onMatch = [&analysis, &matchTicks, &invalidTicks](const auto&... hit) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    const bool invalid = analysis.Match(AsResult(hit...));
    QueryPerformanceCounter(&t1);
    matchTicks += t1.QuadPart - t0.QuadPart;
    if (invalid) invalidTicks += t1.QuadPart - t0.QuadPart;
  };
  const auto onProgress = [&lastProgress](std::int32_t keys, std::int32_t) { lastProgress = keys; };
  std::unique_ptr<calvorin::win32::SearchThreadHost> host;
#ifdef CALVORIN_BENCH_PLAIN_THREAD
  if (plain) {
    host = std::make_unique<calvorin::win32::SearchThreadHost>(
        std::make_unique<calvorin::testing::PlainSearchThread>(calvorin::win32::SystemRegistry(),
                                                               ":\\", onMatch, onProgress));
  }
#endif
  if (!host) {
    host = std::make_unique<calvorin::win32::SearchThreadHost>(":\\", onMatch, onProgress);
  }
#ifdef CALVORIN_BENCH_WALK_MODE
  if (plain) host->SetWalkMode(calvorin::WalkMode::kPlain);
#elif !defined(CALVORIN_BENCH_PLAIN_THREAD)
  (void)plain;
#endif
  std::int32_t keys = 0;
  int reason = -1;
  host->SetOnTerminate([&] {
    keys = host->Thread().KeysSearched;
    reason = host->Thread().StopReason;
    ended = true;
  });

  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  host->Resume();
  PumpUntil(ended);
  const double ms = bench::MillisecondsSince(start);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const auto toMs = [&frequency](LONGLONG ticks) {
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
  };
  std::printf(
      "keys=%d hits=%ld invalid=%zu ms=%.0f stop=%d skip=%zu analysis_ms=%.0f invalid_ms=%.0f\n",
      keys, analysis.hits, analysis.Invalid(), ms, reason, calvorin::SkipKeys().size(),
      toMs(matchTicks), toMs(invalidTicks));
  return reason == calvorin::srFinished ? 0 : 1;
}
