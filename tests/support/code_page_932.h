// Code page 932's lead bytes (81-9F, E0-FC), installed as the process's for the object's life.
#pragma once

#include "base/text.h"

namespace calvorin::testing {

struct CodePage932 {
  static bool Lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
  CodePage932() { SetLeadByteTest(&Lead); }
  ~CodePage932() { SetLeadByteTest(nullptr); }
};

}  // namespace calvorin::testing
