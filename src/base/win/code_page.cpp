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

}  // namespace calvorin::win32
