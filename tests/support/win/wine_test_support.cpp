#include "support/win/wine_test_support.h"

#include <windows.h>

#include "base/win/unique_handle.h"

using calvorin::win32::UniqueFind;

namespace calvorin::testing {

void RemoveTree(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesA(path.c_str(),
                       FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA data;
  UniqueFind find(::FindFirstFileA((path + "\\*").c_str(), &data));
  if (find) {
    do {
      const std::string name = data.cFileName;
      if (name != "." && name != "..") RemoveTree(path + "\\" + name);
    } while (::FindNextFileA(find.get(), &data));
  }
  find.reset();
  ::RemoveDirectoryA(path.c_str());
}

bool PumpMessagesUntil(const std::function<bool()>& done) {
  const ULONGLONG giveUp = ::GetTickCount64() + 300000;
  while (!done()) {
    if (::GetTickCount64() > giveUp) return false;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
  return true;
}

}  // namespace calvorin::testing
