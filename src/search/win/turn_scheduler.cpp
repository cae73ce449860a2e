#include "search/win/turn_scheduler.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace calvorin::win32 {

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;  // lParam: TurnScheduler*
constexpr UINT kEndMessage = WM_APP + 2;   // lParam: const std::function<void()>*
constexpr UINT_PTR kWakeTimer = 1;
constexpr char kWindowClass[] = "CalvorinSearchThreadSync";

// How the UI thread serves the worker's calls (see Serve).
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

std::shared_ptr<TurnScheduler> TurnScheduler::Create() {
  static const ATOM atom = [] {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TurnScheduler::WindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    return ::RegisterClassExA(&wc);
  }();
  if (atom == 0) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "RegisterClassEx");
  }
  std::shared_ptr<TurnScheduler> turns(new TurnScheduler());
  turns->window_ = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     ::GetModuleHandleA(nullptr), nullptr);
  if (turns->window_ == nullptr) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateWindowEx");
  }
  ::SetWindowLongPtrA(turns->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(turns.get()));
  return turns;
}

void TurnScheduler::Synchronize(const std::function<void()>& call) {
  bool post = false;
  {
    Locked hold(lock_);
    pending_ = &call;
    done_ = false;
    error_ = nullptr;
    if (serving_) {
      ::WakeConditionVariable(&callReady_);
    } else if (!wakeQueued_) {
      wakeQueued_ = true;
      post = true;
    }
  }
  // A full queue (10,000 posted messages) cannot take the wake; a sent one always gets through.
  if (post && !::PostMessageA(window_, kWakeMessage, 0, reinterpret_cast<LPARAM>(this))) {
    ::SendMessageA(window_, kWakeMessage, 0, reinterpret_cast<LPARAM>(this));
  }
  std::exception_ptr raised;
  {
    Locked hold(lock_);
    while (!done_) ::SleepConditionVariableSRW(&callDone_, &lock_, INFINITE, 0);
    raised = std::exchange(error_, nullptr);
  }
  if (raised) std::rethrow_exception(raised);
}

void TurnScheduler::Finish(const std::function<void()>& end) {
  {
    // The end message is handled by the thread's own message loop rather than inside a turn.
    Locked hold(lock_);
    leaving_ = true;
    ::WakeConditionVariable(&callReady_);
  }
  ::SendMessageA(window_, kEndMessage, 0, reinterpret_cast<LPARAM>(&end));
}

void TurnScheduler::Close() {
  if (window_ == nullptr) return;
  if (wakeTimer_) ::KillTimer(window_, kWakeTimer);
  wakeTimer_ = false;
  ::DestroyWindow(std::exchange(window_, nullptr));
}

void TurnScheduler::Serve() {
  if (inTurn_) return;  // a message handled inside a turn pumped messages: the turn goes on
  inTurn_ = true;
  // A call or a message handled in the turn may let go of the last outside reference.
  const std::shared_ptr<TurnScheduler> keep = shared_from_this();
  if (wakeTimer_) {
    ::KillTimer(window_, kWakeTimer);
    wakeTimer_ = false;
  }
  const LONGLONG start = NowMs();
  LONGLONG lastCall = start;
  LONGLONG nextLook = start + kLookMs;
  bool input = false;  // the turn ends for input, which must come before the next call
  ::AcquireSRWLockExclusive(&lock_);
  wakeQueued_ = false;
  serving_ = true;
  for (;;) {
    if (pending_ != nullptr) {
      const std::function<void()>* call = std::exchange(pending_, nullptr);
      ::ReleaseSRWLockExclusive(&lock_);
      std::exception_ptr raised = Run(*call);
      ::AcquireSRWLockExclusive(&lock_);
      error_ = raised;
      done_ = true;
      ::WakeConditionVariable(&callDone_);
      lastCall = NowMs();
      if (lastCall < nextLook) continue;
    }
    if (leaving_) break;
    const LONGLONG now = NowMs();
    if (now >= nextLook) {
      ::ReleaseSRWLockExclusive(&lock_);
      const bool more = LookAtQueue(&input);
      ::AcquireSRWLockExclusive(&lock_);
      nextLook = NowMs() + kLookMs;
      if (!more || window_ == nullptr) break;
      continue;
    }
    if (now - lastCall >= kIdleMs || now - start >= kTurnMs) break;
    if (pending_ == nullptr && !leaving_) {
      const LONGLONG wait = std::min(nextLook, lastCall + kIdleMs) - now;
      ::SleepConditionVariableSRW(&callReady_, &lock_, static_cast<DWORD>(std::max(wait, 1LL)), 0);
    }
  }
  serving_ = false;
  // Input waits behind posted messages, a timer behind input and paint: a call that comes
  // after input has arrived wakes the thread through the timer, so the input is handled first.
  if (input && window_ != nullptr && !leaving_ &&
      ::SetTimer(window_, kWakeTimer, USER_TIMER_MINIMUM, nullptr) != 0) {
    wakeTimer_ = true;
    wakeQueued_ = true;  // a call waits for the timer; nothing is posted
  }
  const bool callWaiting = pending_ != nullptr && !wakeTimer_;
  if (callWaiting) wakeQueued_ = true;
  ::ReleaseSRWLockExclusive(&lock_);
  inTurn_ = false;
  // A call that came in while the turn was ending found the thread serving: wake it again.
  if (callWaiting && window_ != nullptr) {
    ::PostMessageA(window_, kWakeMessage, 0, reinterpret_cast<LPARAM>(this));
  }
}

// Paints, answers sent messages and runs due timers in place, as the thread's message loop
// would. False when the turn must end so that the loop handles what waits (input, posted
// messages such as WM_QUIT or a close).
bool TurnScheduler::LookAtQueue(bool* input) {
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

std::exception_ptr TurnScheduler::Run(const std::function<void()>& call) {
  if (dropCalls_) return nullptr;
  try {
    call();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

LRESULT CALLBACK TurnScheduler::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // No exception may cross back into user32.
  if (msg == kWakeMessage && lParam != 0) {
    reinterpret_cast<TurnScheduler*>(lParam)->Serve();
    return 0;
  }
  if (msg == WM_TIMER && wParam == kWakeTimer) {
    auto* turns = reinterpret_cast<TurnScheduler*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (turns != nullptr) turns->Serve();
    return 0;
  }
  if (msg == kEndMessage && lParam != 0) {
    try {
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
    } catch (...) {
      // The end deals with its own failures; the worker has nothing to do.
    }
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace calvorin::win32
