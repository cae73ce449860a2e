// What the main window needs from the worker of one scan. The window creates one per Search,
// resumes it, may ask it to stop at any time and never waits for it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "core/result.h"

namespace calvorin::win32 {

class ScanWorker {
 public:
  virtual ~ScanWorker() = default;
  // Starts the walk. `onTerminate` runs later on the window's thread.
  virtual void Resume() = 0;
  // Asks the walk to stop; returns at once.
  virtual void Terminate() = 0;
  // After the end: true when every root was walked (srFinished).
  virtual bool Finished() const = 0;
  // Lets go of a walk that may still be running; no callback reaches the window afterwards.
  virtual void Detach() = 0;
};

// Creates the worker suspended. Callbacks run on the thread that owns `owner`.
std::unique_ptr<ScanWorker> CreateScanWorker(HWND owner, const std::string& searchText,
                                             MatchCallback onMatch, ProgressCallback onProgress,
                                             std::function<void()> onTerminate);

// Fills SkipKeys before any window exists (root-key equivalence).
void BuildSkipKeys();

// Installs the user locale's case-insensitive comparison for sorting names.
void InstallLocaleTextCompare();

}  // namespace calvorin::win32
