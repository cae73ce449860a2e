// The 32-bit program on 64-bit Windows. Under WOW64 the system shows a 32-bit process its own
// views: HKEY_LOCAL_MACHINE\Software is Software\Wow6432Node, and C:\Windows\System32 is
// SysWOW64. The program looks at the system as its own 64-bit tools do.
#pragma once

#include <cstdint>
#include <string>

namespace calvorin::win32 {

// IsWow64Process, asked once: false on 32-bit Windows.
bool RunsUnderWow64();

// KEY_WOW64_64KEY under WOW64, else 0 (the process's own view is the only one).
std::uint32_t RegistryViewFlag();

// Turns the file-system redirection of the calling thread off for its lifetime. Does nothing
// outside WOW64. Only for calls that load no code: with the redirection off, a DLL the system
// loads on the thread's behalf would come from the 64-bit System32.
class FileSystemRedirectionOff {
 public:
  FileSystemRedirectionOff();
  ~FileSystemRedirectionOff();
  FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
  FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;

 private:
  void* old_ = nullptr;
  bool off_ = false;
};

}  // namespace calvorin::win32
