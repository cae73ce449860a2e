// Work that must happen when a scope ends, however it ends (a return, an exception).
#pragma once

#include <utility>

namespace calvorin {

// Calls its function once, when it is destroyed. Move-only: the moved-from guard calls nothing.
//   const ScopeExit closeKey([&] { api.CloseKey(key); });
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ScopeExit(ScopeExit&& other) noexcept
      : f_(std::move(other.f_)), armed_(std::exchange(other.armed_, false)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ScopeExit& operator=(ScopeExit&&) = delete;
  ~ScopeExit() {
    if (armed_) f_();
  }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace calvorin
