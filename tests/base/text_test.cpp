// The device-name rule, one path at a time: the names Windows takes for a device whatever their
// folder and extension, under a single-byte and a double-byte code page.
#include <gtest/gtest.h>

#include "base/text.h"

namespace calvorin {
namespace {

bool Cp936Lead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

TEST(DosDeviceName, IsTheLastComponentUpToItsFirstDotOrColon) {
  struct Case {
    const char* path;
    bool singleByte, doubleByte;
  };
  const Case cases[] = {
      {"con", true, true},
      {"C:\\folder\\NUL.txt", true, true},
      {"C:/folder/aux", true, true},
      {"prn.log.old", true, true},
      {"C:\\x\\conin$", true, true},
      {"C:\\x\\CONOUT$.txt", true, true},
      {"C:nul", true, true},
      {"C:\\x\\nul:stream", true, true},
      {"C:\\x\\con  .txt", true, true},
      {"com1", true, true},
      {"C:\\x\\LPT9.exe", true, true},
      {"C:\\x\\com\xB9", true, false},  // superscript one, two, three of the Latin code pages
      {"lpt\xB2.txt", true, false},
      {"lpt\xB3", true, false},
      {"C:\\x\\com0", false, false},
      {"C:\\x\\com10", false, false},
      {"C:\\con\\file.txt", false, false},
      {"C:\\x\\conin", false, false},
      {"C:\\x\\a.con", false, false},
      {"Cnul", false, false},
      {"C:\\x\\nul\\", false, false},
      {"\x83\\con", true, false},  // 83 5C is one character of code page 936
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsDosDeviceName(c.path, nullptr), c.singleByte) << c.path;
    EXPECT_EQ(IsDosDeviceName(c.path, &Cp936Lead), c.doubleByte) << c.path;
  }
}

}  // namespace
}  // namespace calvorin
