#include "base/win/code_page.h"

#include <windows.h>

#include "base/text.h"

namespace calvorin::win32 {

namespace {

bool AnsiLeadByte(unsigned char byte) { return ::IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

void InstallAnsiLeadBytes() {
  CPINFO info{};
  const bool pairs = ::GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
  SetLeadByteTest(pairs ? &AnsiLeadByte : nullptr);
}

std::wstring AnsiToWide(std::string_view ansi) {
  // A code page's character is never longer in UTF-16 than in its own bytes.
  std::wstring wide(ansi.size(), L'\0');
  const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                      wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return wide;
}

}  // namespace calvorin::win32
