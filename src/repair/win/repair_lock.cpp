#include "repair/win/repair_lock.h"

#include <windows.h>

namespace calvorin::win32 {
namespace {

// In the global namespace: a scheduled task runs in session 0, the user's window in another, and
// both change the same machine's registry. A lock made by another account's run may refuse us
// access: that run holds it.
constexpr const char* kRepairLockName = "Global\\Calvorin Repair";

}  // namespace

RepairLock::RepairLock() : mutex_(CreateMutexA(nullptr, FALSE, kRepairLockName)) {
  if (!mutex_) return;
  // WAIT_ABANDONED: a run that died holding it; the lock is ours now.
  const DWORD wait = WaitForSingleObject(mutex_.get(), 0);
  held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

RepairLock::~RepairLock() {
  if (held_) ReleaseMutex(mutex_.get());
}

}  // namespace calvorin::win32
