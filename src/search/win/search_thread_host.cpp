#include "search/win/search_thread_host.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <system_error>
#include <utility>

#include "base/win/unique_handle.h"
#include "registry/win/win_registry.h"

namespace calvorin::win32 {

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;  // lParam: SearchThreadHost::Shared*
constexpr UINT kEndMessage = WM_APP + 2;   // lParam: SearchThreadHost::Shared*
constexpr UINT_PTR kWakeTimer = 1;
constexpr char kWindowClass[] = "CalvorinSearchThreadSync";

// How the UI thread serves the walk's calls (see Shared::Serve).
constexpr LONGLONG kLookMs = 8;    // how often a turn looks at the thread's message queue
constexpr LONGLONG kIdleMs = 30;   // a turn with no call for this long ends
constexpr LONGLONG kTurnMs = 250;  // and no turn is longer than this

LONGLONG NowMs() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart * 1000 / frequency;
}

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

class Locked {
 public:
  explicit Locked(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
  ~Locked() { ::ReleaseSRWLockExclusive(&lock_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

// Everything the UI thread and the worker share. The host holds one reference and the worker
// another, so whichever lets go last frees it; the fields marked "UI thread" are only touched
// there, the ones marked "lock" under `lock`.
//
// A walk makes a call onto the UI thread for every hit and every hundred keys, and waits for
// each. A sent message per call costs several wineserver round trips and two thread switches
// (about 40-60 us under Wine, more than reading the value), so calls are handed over through a
// lock and two condition variables instead, which wait in-process. The UI thread is woken by a
// posted message and then serves calls in a turn (Serve): between calls it waits on the
// condition variable, and every few milliseconds it looks at its message queue, painting and
// answering sent messages and timers in place, and ending the turn for input and posted
// messages, so the window stays as responsive as with a message per call. The calls run on the
// UI thread one at a time in the walk's order while the worker waits, exactly as before.
struct SearchThreadHost::Shared : Synchronizer, std::enable_shared_from_this<Shared> {
  Shared(RegistryApi& api, std::string searchText, MatchCallback onMatch,
         ProgressCallback onProgress)
      : thread(api, std::move(searchText), std::move(onMatch), std::move(onProgress)) {}

  // Worker side: blocks until the UI thread has run `call`, then re-raises what it threw.
  void Synchronize(const std::function<void()>& call) override {
    bool post = false;
    {
      Locked hold(lock);
      pending = &call;
      done = false;
      error = nullptr;
      if (serving) {
        ::WakeConditionVariable(&callReady);
      } else if (!wakeQueued) {
        wakeQueued = true;
        post = true;
      }
    }
    // A full queue (10,000 posted messages) cannot take the wake; a sent one always gets through.
    if (post && !::PostMessageA(window, kWakeMessage, 0, reinterpret_cast<LPARAM>(this))) {
      ::SendMessageA(window, kWakeMessage, 0, reinterpret_cast<LPARAM>(this));
    }
    std::exception_ptr raised;
    {
      Locked hold(lock);
      while (!done) ::SleepConditionVariableSRW(&callDone, &lock, INFINITE, 0);
      raised = std::exchange(error, nullptr);
    }
    if (raised) std::rethrow_exception(raised);
  }

  // Worker side, after its last call: a turn in progress ends, so that the end message is
  // handled by the thread's own message loop rather than inside a turn.
  void Leave() {
    Locked hold(lock);
    leaving = true;
    ::WakeConditionVariable(&callReady);
  }

  // UI thread: a turn of serving calls, from a wake-up message or timer.
  void Serve() {
    if (inTurn) return;  // a message handled inside a turn pumped messages: the turn goes on
    inTurn = true;
    // The last call may end the walk and a handler destroy the host: keep this alive.
    const std::shared_ptr<Shared> keep = shared_from_this();
    if (wakeTimer) {
      ::KillTimer(window, kWakeTimer);
      wakeTimer = false;
    }
    const LONGLONG start = NowMs();
    LONGLONG lastCall = start;
    LONGLONG nextLook = start + kLookMs;
    bool input = false;  // the turn ends for input, which must come before the next call
    ::AcquireSRWLockExclusive(&lock);
    wakeQueued = false;
    serving = true;
    for (;;) {
      if (pending != nullptr) {
        const std::function<void()>* call = std::exchange(pending, nullptr);
        ::ReleaseSRWLockExclusive(&lock);
        std::exception_ptr raised = Run(*call);
        ::AcquireSRWLockExclusive(&lock);
        error = raised;
        done = true;
        ::WakeConditionVariable(&callDone);
        lastCall = NowMs();
        if (lastCall < nextLook) continue;
      }
      if (leaving) break;
      const LONGLONG now = NowMs();
      if (now >= nextLook) {
        ::ReleaseSRWLockExclusive(&lock);
        const bool more = LookAtQueue(&input);
        ::AcquireSRWLockExclusive(&lock);
        nextLook = NowMs() + kLookMs;
        if (!more || window == nullptr) break;
        continue;
      }
      if (now - lastCall >= kIdleMs || now - start >= kTurnMs) break;
      if (pending == nullptr && !leaving) {
        const LONGLONG wait = std::min(nextLook, lastCall + kIdleMs) - now;
        ::SleepConditionVariableSRW(&callReady, &lock, static_cast<DWORD>(std::max(wait, 1LL)), 0);
      }
    }
    serving = false;
    // Input waits behind posted messages, a timer behind input and paint: a call that comes
    // after input has arrived wakes the thread through the timer, so the input is handled first.
    if (input && window != nullptr && !leaving &&
        ::SetTimer(window, kWakeTimer, USER_TIMER_MINIMUM, nullptr) != 0) {
      wakeTimer = true;
      wakeQueued = true;  // a call waits for the timer; nothing is posted
    }
    const bool callWaiting = pending != nullptr && !wakeTimer;
    if (callWaiting) wakeQueued = true;
    ::ReleaseSRWLockExclusive(&lock);
    inTurn = false;
    // A call that came in while the turn was ending found the thread serving: wake it again.
    if (callWaiting && window != nullptr) {
      ::PostMessageA(window, kWakeMessage, 0, reinterpret_cast<LPARAM>(this));
    }
  }

  // UI thread, in a turn: paints, answers sent messages and runs due timers in place, as the
  // thread's message loop would. False when the turn must end so that the loop handles what
  // waits (input, posted messages such as WM_QUIT or a close).
  bool LookAtQueue(bool* input) {
    const DWORD waiting = HIWORD(::GetQueueStatus(QS_ALLINPUT));
    MSG msg;
    if (waiting & QS_SENDMESSAGE)
      ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    if (waiting & QS_PAINT) {
      // Bounded: a window that never validates itself must not keep the turn forever.
      for (int i = 0; i < 64 && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i) {
        ::DispatchMessageA(&msg);
      }
    }
    if (waiting & QS_TIMER) {
      for (int i = 0; i < 64 && ::PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE); ++i) {
        ::DispatchMessageA(&msg);
      }
    }
    if (waiting & QS_INPUT) {
      *input = true;
      return false;
    }
    return (waiting & (QS_POSTMESSAGE | QS_HOTKEY)) == 0;
  }

  std::exception_ptr Run(const std::function<void()>& call) {
    // After a detach the owner's callbacks may point at a window that no longer exists.
    if (detached) return nullptr;
    try {
      call();
    } catch (...) {
      return std::current_exception();
    }
    return nullptr;
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
    if (window == nullptr) return;
    if (wakeTimer) ::KillTimer(window, kWakeTimer);
    wakeTimer = false;
    ::DestroyWindow(std::exchange(window, nullptr));
  }

  TSearchThread thread;
  HWND window = nullptr;  // message-only window of the UI thread
  UniqueKernelHandle handle;
  std::function<void()> onTerminate;  // UI thread
  std::exception_ptr fatal;           // written by the worker before it sends kEndMessage
  bool resumed = false;               // UI thread
  bool detached = false;              // UI thread
  bool ended = false;                 // UI thread
  bool inTurn = false;                // UI thread
  bool wakeTimer = false;             // UI thread: the wake timer is set

  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE callReady = CONDITION_VARIABLE_INIT;  // a call is pending, or leaving
  CONDITION_VARIABLE callDone = CONDITION_VARIABLE_INIT;
  const std::function<void()>* pending = nullptr;  // lock: the call not yet taken
  std::exception_ptr error;                        // lock: what the call threw
  bool done = false;                               // lock: the call has run
  bool serving = false;                            // lock: the UI thread is in a turn
  bool wakeQueued = false;                         // lock: a wake-up is on its way
  bool leaving = false;                            // lock: the worker makes no more calls
};

namespace {

LRESULT CALLBACK SyncWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // No exception may cross back into user32.
  if (msg == kWakeMessage && lParam != 0) {
    reinterpret_cast<SearchThreadHost::Shared*>(lParam)->Serve();
    return 0;
  }
  if (msg == WM_TIMER && wParam == kWakeTimer) {
    auto* shared =
        reinterpret_cast<SearchThreadHost::Shared*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (shared != nullptr) shared->Serve();
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
  shared.Leave();
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
  ::SetWindowLongPtrA(shared_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(shared_.get()));
  // The worker's reference is the thread's to free once it runs; until then it is ours.
  auto workerRef = std::make_unique<std::shared_ptr<Shared>>(shared_);
  DWORD id = 0;
  shared_->handle.reset(
      ::CreateThread(nullptr, 0, &RunWorker, workerRef.get(), CREATE_SUSPENDED, &id));
  if (!shared_->handle) {
    const DWORD error = ::GetLastError();
    workerRef.reset();
    shared_->DestroyWindowOnce();
    throw std::system_error(static_cast<int>(error), std::system_category(), "CreateThread");
  }
  workerRef.release();
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

void SearchThreadHost::SetWalkMode(WalkMode mode) {
  shared_->thread.SetWalkMode(mode);
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
