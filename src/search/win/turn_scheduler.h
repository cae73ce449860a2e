// TurnScheduler: the synchronous calls of one worker thread onto the UI thread (Synchronizer),
// served by the UI thread in turns that keep its windows painting.
//
// A walk makes a call onto the UI thread for every hit and every hundred keys, and waits for
// each. A sent message per call costs several wineserver round trips and two thread switches
// (about 40-60 us under Wine, more than reading the value), so calls are handed over through a
// lock and two condition variables instead, which wait in-process. The UI thread is woken by a
// posted message and then serves calls in a turn: between calls it waits on the condition
// variable, and every few milliseconds it looks at its message queue, painting and answering
// sent messages and timers in place, and ending the turn for input and posted messages, so the
// window stays as responsive as with a message per call. The calls run on the UI thread one at
// a time in the worker's order while the worker waits.
//
//   worker                                  UI thread
//   Synchronize(f): pending = f
//     not serving: post the wake message --> Serve(), one turn:
//     serving: signal callReady                take pending, run it, done = true,
//     wait on callDone  <--------------------  signal callDone, wait on callReady for the next;
//   Synchronize(g) ...                         every kLookMs paint, answer sent messages, run
//                                              timers; input or a posted message ends the turn,
//                                              so do kIdleMs without a call and kTurnMs in all.
//                                            A call that waits when a turn ended for input is
//                                            woken by a timer, so that the input comes first.
//   Finish(end): leaving = true, the turn ends
//     send the end message  ---------------> end(), from the thread's message loop
//
// Made only through Create (shared_ptr): a turn holds a reference of its own, since a call or a
// message handled inside it may let go of the last other one.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>

#include "search/search_thread.h"

namespace calvorin::win32 {

class TurnScheduler : public Synchronizer, public std::enable_shared_from_this<TurnScheduler> {
 public:
  // On the UI thread: makes the message-only window that wakes it. Throws std::system_error when
  // the window cannot be made.
  static std::shared_ptr<TurnScheduler> Create();
  TurnScheduler(const TurnScheduler&) = delete;
  TurnScheduler& operator=(const TurnScheduler&) = delete;

  // Worker: blocks until the UI thread has run `call`, then re-raises what it threw.
  void Synchronize(const std::function<void()>& call) override;
  // Worker, after its last call: runs `end` on the UI thread through a sent message and returns
  // when it has run. A turn in progress ends first, so that the message is handled by the
  // thread's own message loop rather than inside a turn. What `end` throws is dropped.
  void Finish(const std::function<void()>& end);

  // UI thread: from now on calls are answered without being run (whoever they would reach may be
  // gone).
  void DropCalls() { dropCalls_ = true; }
  // UI thread: destroys the window; later wake-ups are lost. Idempotent.
  void Close();

 private:
  TurnScheduler() = default;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // UI thread: a turn of serving calls, from a wake message or the wake timer.
  void Serve();
  // UI thread, in a turn: false when the turn must end for what waits in the queue.
  bool LookAtQueue(bool* input);
  std::exception_ptr Run(const std::function<void()>& call);

  HWND window_ = nullptr;   // UI thread: the message-only window
  bool dropCalls_ = false;  // UI thread
  bool inTurn_ = false;     // UI thread
  bool wakeTimer_ = false;  // UI thread: the wake timer is set

  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE callReady_ = CONDITION_VARIABLE_INIT;  // a call is pending, or leaving
  CONDITION_VARIABLE callDone_ = CONDITION_VARIABLE_INIT;
  const std::function<void()>* pending_ = nullptr;  // lock: the call not yet taken
  std::exception_ptr error_;                        // lock: what the call threw
  bool done_ = false;                               // lock: the call has run
  bool serving_ = false;                            // lock: the UI thread is in a turn
  bool wakeQueued_ = false;                         // lock: a wake-up is on its way
  bool leaving_ = false;                            // lock: the worker makes no more calls
};

}  // namespace calvorin::win32
