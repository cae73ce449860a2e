// The state a SearchThreadHost and its worker share; the host's own, and its tests'.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <utility>

#include "base/win/unique_handle.h"
#include "search/search_thread.h"
#include "search/win/search_thread_host.h"
#include "search/win/turn_scheduler.h"

namespace calvorin::win32 {

// Everything the UI thread and the worker share. The host holds one reference and the worker
// another, so whichever lets go last frees it. The walk's calls reach the UI thread through
// `turns`; the other fields are the UI thread's, except `fatal`.
struct SearchThreadHost::Shared {
  explicit Shared(std::unique_ptr<TSearchThread> walk)
      : thread(std::move(walk)), turns(TurnScheduler::Create()) {
    thread->SetSynchronizer(turns.get());
  }

  // UI thread: the worker has left Execute (or skipped it) and waits for this to return.
  void End() {
    ended = true;
    if (detached) {
      turns->Close();
      return;
    }
    // The handler may destroy the host; `this` stays alive through the worker's reference.
    if (auto handler = onTerminate) handler();
  }

  const std::unique_ptr<TSearchThread> thread;
  std::shared_ptr<TurnScheduler> turns;
  UniqueKernelHandle handle;
  std::function<void()> onTerminate;
  // An exception that escaped Execute (StopReason is then srRunning): written by the worker
  // before its end runs on the UI thread.
  std::exception_ptr fatal;
  bool resumed = false;
  bool detached = false;
  bool ended = false;  // the worker's end has run on the UI thread
};

}  // namespace calvorin::win32
