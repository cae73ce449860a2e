#include "base/win/wow64.h"

#include <windows.h>

namespace calvorin::win32 {

bool RunsUnderWow64() {
  static const bool wow64 = [] {
    BOOL answer = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &answer) && answer;
  }();
  return wow64;
}

std::uint32_t RegistryViewFlag() {
  return RunsUnderWow64() ? KEY_WOW64_64KEY : 0;
}

FileSystemRedirectionOff::FileSystemRedirectionOff() {
  if (!RunsUnderWow64()) return;
  // The call keeps the last error of the probe that follows intact only if it does not fail.
  const DWORD error = ::GetLastError();
  off_ = ::Wow64DisableWow64FsRedirection(&old_) != FALSE;
  ::SetLastError(error);
}

FileSystemRedirectionOff::~FileSystemRedirectionOff() {
  if (!off_) return;
  // The probe's last error is what its caller reads after the guard has gone.
  const DWORD error = ::GetLastError();
  ::Wow64RevertWow64FsRedirection(old_);
  ::SetLastError(error);
}

}  // namespace calvorin::win32
