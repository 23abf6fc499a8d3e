// Little-endian fields of package records, read from any alignment.
#pragma once

#include <cstdint>

namespace setup {

inline uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void WriteU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void WriteU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Length of the NUL-terminated text at `p`, or -1 when no NUL comes before `end`.
inline int32_t BoundedTextLength(const uint8_t* p, const uint8_t* end) {
  for (const uint8_t* q = p; q < end; ++q) {
    if (*q == 0) return static_cast<int32_t>(q - p);
  }
  return -1;
}

}  // namespace setup
