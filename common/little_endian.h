// Little-endian field access for the tools' fixed-size records, whatever the
// host's byte order.
#ifndef COMMON_LITTLE_ENDIAN_H
#define COMMON_LITTLE_ENDIAN_H

#include <cstdint>

// The `width` bytes at `bytes`, least significant first.
inline std::uint64_t load_le(const unsigned char* bytes, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

// Stores the low `width` bytes of `value` at `bytes`, least significant first.
inline void store_le(unsigned char* bytes, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

#endif  // COMMON_LITTLE_ENDIAN_H
