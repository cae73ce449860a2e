// The lock every Repair run holds, in the window and unattended alike, so that two runs never
// change the registry and rotate the backups at the same time.
#pragma once

#include "base/win/unique_handle.h"

namespace calvorin::win32 {

class RepairLock {
 public:
  // Tries once; never waits.
  RepairLock();
  ~RepairLock();
  RepairLock(const RepairLock&) = delete;
  RepairLock& operator=(const RepairLock&) = delete;
  // False when another Repair holds the lock (or the lock could not be made).
  bool Held() const { return held_; }

 private:
  UniqueKernelHandle mutex_;
  bool held_ = false;
};

}  // namespace calvorin::win32
