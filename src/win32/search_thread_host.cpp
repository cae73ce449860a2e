#include "win32/search_thread_host.h"

#include <windows.h>

#include <system_error>
#include <utility>

#include "win32/unique_handle.h"
#include "win32/win_registry.h"

namespace calvorin::win32 {

namespace {

constexpr UINT kSyncMessage = WM_APP + 1;  // lParam: SyncCall*
constexpr UINT kEndMessage = WM_APP + 2;   // lParam: SearchThreadHost::Shared*
constexpr char kWindowClass[] = "CalvorinSearchThreadSync";

struct SyncCall {
  SearchThreadHost::Shared* shared;
  const std::function<void()>* call;
  std::exception_ptr error;
};

LRESULT CALLBACK SyncWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

void RegisterSyncClass() {
  static const ATOM atom = [] {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &SyncWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    return ::RegisterClassExA(&wc);
  }();
  if (atom == 0) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "RegisterClassEx");
  }
}

}  // namespace

// Everything the UI thread and the worker share. The host holds one reference and the worker
// another, so whichever lets go last frees it; the fields marked "UI thread" are only touched
// there, which the blocking SendMessage makes safe without locks.
struct SearchThreadHost::Shared : Synchronizer {
  Shared(RegistryApi& api, std::string searchText, MatchCallback onMatch,
         ProgressCallback onProgress)
      : thread(api, std::move(searchText), std::move(onMatch), std::move(onProgress)) {}

  // Worker side: blocks until the UI thread has run `call`, then re-raises what it threw.
  void Synchronize(const std::function<void()>& call) override {
    SyncCall sync{this, &call, nullptr};
    ::SendMessageA(window, kSyncMessage, 0, reinterpret_cast<LPARAM>(&sync));
    if (sync.error) std::rethrow_exception(sync.error);
  }

  // UI thread: the worker has left Execute (or skipped it) and waits for this to return.
  void End() {
    ended = true;
    if (detached) {
      DestroyWindowOnce();
      return;
    }
    // The handler may destroy the host; `this` stays alive through the worker's reference.
    if (auto handler = onTerminate) handler();
  }

  void DestroyWindowOnce() {
    if (window != nullptr) ::DestroyWindow(std::exchange(window, nullptr));
  }

  TSearchThread thread;
  HWND window = nullptr;  // message-only window of the UI thread
  UniqueKernelHandle handle;
  std::function<void()> onTerminate;  // UI thread
  std::exception_ptr fatal;           // written by the worker before it sends kEndMessage
  bool resumed = false;               // UI thread
  bool detached = false;              // UI thread
  bool ended = false;                 // UI thread
};

namespace {

LRESULT CALLBACK SyncWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // No exception may cross back into user32.
  if (msg == kSyncMessage && lParam != 0) {
    auto* sync = reinterpret_cast<SyncCall*>(lParam);
    // After a detach the owner's callbacks may point at a window that no longer exists.
    if (!sync->shared->detached) {
      try {
        (*sync->call)();
      } catch (...) {
        sync->error = std::current_exception();
      }
    }
    return 0;
  }
  if (msg == kEndMessage && lParam != 0) {
    try {
      reinterpret_cast<SearchThreadHost::Shared*>(lParam)->End();
    } catch (...) {
      // The termination handler deals with its own failures; the worker has nothing to do.
    }
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

DWORD WINAPI RunWorker(void* param) {
  // The worker's own reference: the shared state outlives a host destroyed mid-walk.
  const std::unique_ptr<std::shared_ptr<SearchThreadHost::Shared>> ref(
      static_cast<std::shared_ptr<SearchThreadHost::Shared>*>(param));
  SearchThreadHost::Shared& shared = **ref;
  // A request made before the thread started: the walk does not run and StopReason stays 0.
  if (!shared.thread.Terminated()) {
    try {
      shared.thread.Execute();
    } catch (...) {
      shared.fatal = std::current_exception();
    }
  }
  ::SendMessageA(shared.window, kEndMessage, 0, reinterpret_cast<LPARAM>(&shared));
  return 0;
}

}  // namespace

SearchThreadHost::SearchThreadHost(std::string searchText, MatchCallback onMatch,
                                   ProgressCallback onProgress)
    : SearchThreadHost(std::move(searchText), std::move(onMatch), std::move(onProgress),
                       SystemRegistry()) {}

SearchThreadHost::SearchThreadHost(std::string searchText, MatchCallback onMatch,
                                   ProgressCallback onProgress, RegistryApi& api)
    : shared_(std::make_shared<Shared>(api, std::move(searchText), std::move(onMatch),
                                       std::move(onProgress))) {
  shared_->thread.SetSynchronizer(shared_.get());
  RegisterSyncClass();
  shared_->window = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      ::GetModuleHandleA(nullptr), nullptr);
  if (shared_->window == nullptr) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateWindowEx");
  }
  auto* workerRef = new std::shared_ptr<Shared>(shared_);
  DWORD id = 0;
  shared_->handle.reset(::CreateThread(nullptr, 0, &RunWorker, workerRef, CREATE_SUSPENDED, &id));
  if (!shared_->handle) {
    const DWORD error = ::GetLastError();
    delete workerRef;
    shared_->DestroyWindowOnce();
    throw std::system_error(static_cast<int>(error), std::system_category(), "CreateThread");
  }
}

SearchThreadHost::~SearchThreadHost() {
  Shared& s = *shared_;
  if (s.ended) {
    s.DestroyWindowOnce();
    return;
  }
  // Still walking (or never started): stop it without waiting and let the end message clean up.
  s.detached = true;
  s.onTerminate = nullptr;
  s.thread.Terminate();
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
  shared_->thread.Terminate();
}

bool SearchThreadHost::Terminated() const {
  return shared_->thread.Terminated();
}

bool SearchThreadHost::Finished() const {
  return shared_->ended;
}

const TSearchThread& SearchThreadHost::Thread() const {
  return shared_->thread;
}

std::exception_ptr SearchThreadHost::FatalException() const {
  return shared_->fatal;
}

}  // namespace calvorin::win32
