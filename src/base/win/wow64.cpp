#include "base/win/wow64.h"

#include <windows.h>

namespace calvorin::win32 {
namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
using DisableRedirectionFn = BOOL(WINAPI*)(PVOID* old);
using RevertRedirectionFn = BOOL(WINAPI*)(PVOID old);  // the value, not its address

struct Wow64 {
  bool active = false;
  DisableRedirectionFn disable = nullptr;
  RevertRedirectionFn revert = nullptr;
};

const Wow64& State() {
  static const Wow64 state = [] {
    Wow64 s;
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return s;
    const auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64 == nullptr || !isWow64(::GetCurrentProcess(), &wow64) || !wow64) return s;
    s.active = true;
    s.disable = reinterpret_cast<DisableRedirectionFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
    s.revert = reinterpret_cast<RevertRedirectionFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
    if (s.disable == nullptr || s.revert == nullptr) {
      s.disable = nullptr;
      s.revert = nullptr;
    }
    return s;
  }();
  return state;
}

}  // namespace

bool RunsUnderWow64() {
  return State().active;
}

std::uint32_t RegistryViewFlag() {
  return RunsUnderWow64() ? KEY_WOW64_64KEY : 0;
}

FileSystemRedirectionOff::FileSystemRedirectionOff() {
  const Wow64& s = State();
  // The call keeps the last error of the probe that follows intact only if it does not fail.
  const DWORD error = ::GetLastError();
  if (s.disable != nullptr) off_ = s.disable(&old_) != FALSE;
  ::SetLastError(error);
}

FileSystemRedirectionOff::~FileSystemRedirectionOff() {
  if (!off_) return;
  // The probe's last error is what its caller reads after the guard has gone.
  const DWORD error = ::GetLastError();
  State().revert(old_);
  ::SetLastError(error);
}

}  // namespace calvorin::win32
