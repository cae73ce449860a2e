#include "search/win/locale_compare.h"

#include <windows.h>

#include "base/text.h"

namespace calvorin::win32 {

int LocaleCompareText(const std::string& a, const std::string& b) {
  const int result =
      ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                       b.data(), static_cast<int>(b.size()));
  // 0 means the call failed (it does not for valid lengths); fall back to a stable order.
  if (result == 0) return CompareTextAscii(a, b);
  return result - CSTR_EQUAL;
}

void InstallLocaleCompare() {
  SetTextCompare(&LocaleCompareText);
}

}  // namespace calvorin::win32
