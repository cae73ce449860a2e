#include "search/win/search_thread_host.h"

#include <windows.h>

#include <memory>
#include <system_error>
#include <utility>

#include "registry/win/win_registry.h"
#include "search/win/search_thread_host_shared.h"

namespace calvorin::win32 {
namespace {

DWORD WINAPI RunWorker(void* param) {
  // The worker's own reference: the shared state outlives a host destroyed mid-walk.
  const std::unique_ptr<std::shared_ptr<SearchThreadHost::Shared>> ref(
      static_cast<std::shared_ptr<SearchThreadHost::Shared>*>(param));
  SearchThreadHost::Shared& shared = **ref;
  // A request made before the thread started: the walk does not run and StopReason stays 0.
  if (!shared.thread->Terminated()) {
    try {
      shared.thread->Execute();
    } catch (...) {
      shared.fatal = std::current_exception();
    }
  }
  shared.turns->Finish([&shared] { shared.End(); });
  return 0;
}

}  // namespace

SearchThreadHost::SearchThreadHost(std::string searchText, MatchCallback onMatch,
                                   ProgressCallback onProgress)
    : SearchThreadHost(std::move(searchText), std::move(onMatch), std::move(onProgress),
                       SystemRegistry()) {}

SearchThreadHost::SearchThreadHost(std::string searchText, MatchCallback onMatch,
                                   ProgressCallback onProgress, RegistryApi& api)
    : SearchThreadHost(std::make_unique<TSearchThread>(
          api, std::move(searchText), std::move(onMatch), std::move(onProgress))) {}

SearchThreadHost::SearchThreadHost(std::unique_ptr<TSearchThread> thread)
    : shared_(std::make_shared<Shared>(std::move(thread))) {
  // The worker's reference is the thread's to free once it runs; until then it is ours.
  auto workerRef = std::make_unique<std::shared_ptr<Shared>>(shared_);
  DWORD id = 0;
  shared_->handle.reset(
      ::CreateThread(nullptr, 0, &RunWorker, workerRef.get(), CREATE_SUSPENDED, &id));
  if (!shared_->handle) {
    const DWORD error = ::GetLastError();
    workerRef.reset();
    shared_->turns->Close();
    throw std::system_error(static_cast<int>(error), std::system_category(), "CreateThread");
  }
  workerRef.release();
}

SearchThreadHost::~SearchThreadHost() {
  Shared& s = *shared_;
  if (s.ended) {
    s.turns->Close();
    return;
  }
  // Still walking (or never started): stop it without waiting and let its end clean up. The
  // owner's callbacks may point at a window that no longer exists.
  s.detached = true;
  s.turns->DropCalls();
  s.onTerminate = nullptr;
  s.thread->Terminate();
  Resume();
}

void SearchThreadHost::SetOnTerminate(std::function<void()> handler) {
  shared_->onTerminate = std::move(handler);
}

void SearchThreadHost::Resume() {
  if (shared_->resumed) return;
  shared_->resumed = true;
  ::ResumeThread(shared_->handle.get());
}

void SearchThreadHost::Terminate() {
  shared_->thread->Terminate();
}

const TSearchThread& SearchThreadHost::Thread() const {
  return *shared_->thread;
}

}  // namespace calvorin::win32
