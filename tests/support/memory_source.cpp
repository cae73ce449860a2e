#include "support/memory_source.h"

#include <algorithm>
#include <cstring>

#include "base/little_endian.h"

namespace calvorin::testing {

std::string AsciiConverter::FromUtf16(std::string_view utf16le) const {
  std::string out;
  for (std::size_t i = 0; i + 1 < utf16le.size(); i += 2) {
    const unsigned unit = LittleEndian16(utf16le.data() + i);
    if (unit < 0x80) {
      out += static_cast<char>(unit);
      continue;
    }
    out += '?';
    // A surrogate pair is one character.
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < utf16le.size()) {
      const unsigned next = LittleEndian16(utf16le.data() + i + 2);
      if (next >= 0xDC00 && next < 0xE000) i += 2;
    }
  }
  return out;
}

std::string AsciiConverter::FromUtf8(std::string_view utf8) const {
  std::string out;
  int continuation = 0;
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (continuation > 0 && (c & 0xC0) == 0x80) {
      --continuation;
      continue;
    }
    continuation = 0;
    if (c < 0x80) {
      out += ch;
      continue;
    }
    out += '?';
    if ((c & 0xE0) == 0xC0) continuation = 1;
    if ((c & 0xF0) == 0xE0) continuation = 2;
    if ((c & 0xF8) == 0xF0) continuation = 3;
  }
  return out;
}

std::size_t MemorySource::Read(void* buffer, std::size_t size) {
  const std::size_t n = std::min(size, bytes_.size() - pos_);
  if (n != 0) std::memcpy(buffer, bytes_.data() + pos_, n);
  pos_ += n;
  return n;
}

}  // namespace calvorin::testing
