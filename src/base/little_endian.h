// Numbers as the registry and the program's files store them: lowest byte first.
#pragma once

#include <cstdint>

namespace calvorin {

// The 16 bits whose two bytes begin at `bytes`.
inline std::uint16_t LittleEndian16(const void* bytes) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

// The 32 bits (a REG_DWORD's) whose four bytes begin at `bytes`.
inline std::uint32_t LittleEndian32(const void* bytes) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

}  // namespace calvorin
