// The device-name rule: names Windows takes for a device whatever their folder and extension.
#include <gtest/gtest.h>

#include "base/text.h"

namespace calvorin {
namespace {
TEST(DosDeviceName, IsTheLastComponentUpToItsFirstDotOrColonInEitherCodePage) {
  const LeadByteTest cp936 = [](unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; };
  for (const char* p : {"con", "C:\\f\\NUL.txt", "C:/f/aux", "prn.a.b", "C:\\f\\conin$",
                        "CONOUT$.txt", "C:nul", "C:\\f\\nul:s", "con  .txt", "com1", "LPT9.x"}) {
    EXPECT_TRUE(IsDosDeviceName(p, nullptr) && IsDosDeviceName(p, cp936)) << p;
  }
  // Superscript one, two, three of the Latin code pages; 83 5C is one character in code page 936.
  for (const char* p : {"C:\\f\\com\xB9", "lpt\xB2.txt", "lpt\xB3", "\x83\\con"}) {
    EXPECT_TRUE(IsDosDeviceName(p, nullptr) && !IsDosDeviceName(p, cp936)) << p;
  }
  for (const char* p : {"com0", "com10", "C:\\con\\f.txt", "conin", "a.con", "Cnul", "nul\\"}) {
    EXPECT_FALSE(IsDosDeviceName(p, nullptr)) << p;
  }
}
}  // namespace
}  // namespace calvorin
