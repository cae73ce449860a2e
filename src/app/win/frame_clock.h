// FrameClock: paces the window's updates during long work.
#pragma once

#include <windows.h>

namespace calvorin::win32 {

// Due() is true at the first call and then once the last true is a frame old. Ten frames a
// second read as live progress; at 25 a scan of 100,000 keys spent a tenth of its time painting
// under Wine.
class FrameClock {
 public:
  static constexpr UINT kFrameMs = 100;
  bool Due() {
    const ULONGLONG now = GetTickCount64();
    if (started_ && now - last_ < kFrameMs) return false;
    last_ = now;
    started_ = true;
    return true;
  }
  void Restart() { started_ = false; }
  // A frame shown now by other means: the next one is due a frame from now.
  void Mark() {
    last_ = GetTickCount64();
    started_ = true;
  }

 private:
  bool started_ = false;
  ULONGLONG last_ = 0;
};

}  // namespace calvorin::win32
