// The saved search reader's doubles: bytes from a buffer, and a converter that needs no code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "savedsearch/saved_search.h"

namespace calvorin::testing {

// Keeps ASCII and turns every other character into "?"; the program uses the code page.
class AsciiConverter : public AnsiConverter {
 public:
  std::string FromUtf16(std::string_view utf16le) const override;
  std::string FromUtf8(std::string_view utf8) const override;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(void* buffer, std::size_t size) override;

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace calvorin::testing
