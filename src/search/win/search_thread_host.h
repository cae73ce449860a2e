// SearchThreadHost: runs one TSearchThread walk on a Win32 worker thread. Every callback of the
// walk, and the termination handler after it, runs on the thread that made the host (the UI
// thread) while the worker waits, woken through a message-only window that thread owns; the
// thread must pump messages. The UI thread never waits for the worker.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "registry/registry.h"
#include "search/result.h"
#include "search/search_thread.h"

namespace calvorin::testing {
struct SearchThreadHostAccess;
}

namespace calvorin::win32 {

class SearchThreadHost {
 public:
  // On the UI thread. The worker is created suspended; nothing runs until Resume. Throws
  // std::system_error when the thread or its message window cannot be made.
  SearchThreadHost(std::string searchText, MatchCallback onMatch, ProgressCallback onProgress,
                   RegistryApi& api);
  SearchThreadHost(std::string searchText, MatchCallback onMatch, ProgressCallback onProgress);
  // As above, with a walk made by the caller and not yet run (a subclass with a walk of its own).
  explicit SearchThreadHost(std::unique_ptr<TSearchThread> thread);
  // Never waits. A walk that has not ended is asked to stop and detached: from then on no callback
  // and no termination handler runs, and the worker releases what is left when it ends. This is
  // how an owner window closes during a scan.
  ~SearchThreadHost();
  SearchThreadHost(const SearchThreadHost&) = delete;
  SearchThreadHost& operator=(const SearchThreadHost&) = delete;

  // Runs on the UI thread once the walk has ended (or was never started because termination was
  // requested first). It may destroy the host.
  void SetOnTerminate(std::function<void()> handler);
  // Starts the worker (once; later calls do nothing).
  void Resume();
  // Asks the walk to stop; it notices at the next key or value.
  void Terminate();

  // The walk's fields (StopReason, MatchCount, KeysSearched...): read them on the UI thread inside
  // a callback or the termination handler.
  const TSearchThread& Thread() const;

  struct Shared;

 private:
  friend struct testing::SearchThreadHostAccess;  // the tests look at the shared state
  std::shared_ptr<Shared> shared_;
};

}  // namespace calvorin::win32
