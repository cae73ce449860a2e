// Stand-ins until the registry walk is wired in: a walk that visits nothing and ends at once,
// an empty SkipKeys, and the ASCII comparison.
#include "win32/scan_seam.h"

namespace calvorin::win32 {
namespace {

constexpr UINT kMsgEmptyWalkDone = WM_APP + 40;

// Ends on the owner's thread through its message queue, like the real worker's OnTerminate.
class EmptyWalk : public ScanWorker {
 public:
  explicit EmptyWalk(HWND owner, std::function<void()> onTerminate)
      : owner_(owner), onTerminate_(std::move(onTerminate)) {
    window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                              nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc));
  }
  ~EmptyWalk() override {
    if (window_) DestroyWindow(window_);
  }
  void Resume() override { PostMessageA(window_, kMsgEmptyWalkDone, 0, 0); }
  void Terminate() override { stopped_ = true; }
  bool Finished() const override { return !stopped_; }
  void Detach() override { onTerminate_ = nullptr; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgEmptyWalkDone) {
      auto* self = reinterpret_cast<EmptyWalk*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
      if (self && self->onTerminate_) self->onTerminate_();
      return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }
  HWND owner_;
  HWND window_ = nullptr;
  std::function<void()> onTerminate_;
  bool stopped_ = false;
};

}  // namespace

std::unique_ptr<ScanWorker> CreateScanWorker(HWND owner, const std::string&, MatchCallback,
                                             ProgressCallback, std::function<void()> onTerminate) {
  return std::make_unique<EmptyWalk>(owner, std::move(onTerminate));
}

void BuildSkipKeys() {}

void InstallLocaleTextCompare() {}

}  // namespace calvorin::win32
