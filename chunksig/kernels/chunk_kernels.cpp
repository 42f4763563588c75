#include "chunksig/kernels/chunk_kernels.h"

#include <cstdlib>
#include <cstring>

#include "chunksig/cut_rule.h"

namespace {

// Bit by bit, for building the tables at compile time.
constexpr std::uint32_t bitwise_crc32(const unsigned char* bytes, std::size_t count) {
  std::uint32_t reg = 0xFFFFFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    reg ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ kCrc32Polynomial : reg >> 1;
  }
  return ~reg;
}

constexpr WindowFilterTables make_window_filter_tables() {
  WindowFilterTables t{};
  unsigned char window[kWindowBytes] = {};
  const std::uint32_t zero_window = bitwise_crc32(window, kWindowBytes);
  for (std::size_t k = 0; k < kWindowBytes; ++k) {
    for (unsigned nibble = 0; nibble < 16; ++nibble) {
      for (int half = 0; half < 2; ++half) {
        window[k] = static_cast<unsigned char>(nibble << (4 * half));
        std::uint32_t top7 = (bitwise_crc32(window, kWindowBytes) ^ zero_window) >> 25;
        if (k == 0 && half == 0) top7 ^= zero_window >> 25;
        unsigned char(&table)[32] = half == 0 ? t.low[k] : t.high[k];
        table[nibble] = table[nibble + 16] = static_cast<unsigned char>(top7);
      }
      window[k] = 0;
    }
    for (int bit = 0; bit < 8; ++bit) {
      window[k] = static_cast<unsigned char>(1u << bit);
      const std::uint32_t top7 = (bitwise_crc32(window, kWindowBytes) ^ zero_window) >> 25;
      for (int r = 0; r < 7; ++r) {
        if ((top7 >> r) & 1) t.matrix[k] |= std::uint64_t{1} << (8 * (7 - r) + bit);
      }
    }
    window[k] = 0;
  }
  t.constant = static_cast<unsigned char>(zero_window >> 25);
  return t;
}

constexpr LeavingTable make_leaving_table() {
  LeavingTable t{};
  unsigned char bytes[kWindowBytes + 1] = {};
  const std::uint32_t zero_window = bitwise_crc32(bytes, kWindowBytes);
  for (unsigned b = 0; b < 256; ++b) {
    bytes[0] = static_cast<unsigned char>(b);
    t.leaving[b] = bitwise_crc32(bytes, kWindowBytes + 1) ^ zero_window;
  }
  return t;
}

constexpr WindowByteTables make_window_byte_tables() {
  WindowByteTables t{};
  unsigned char window[kWindowBytes] = {};
  const std::uint32_t zero_window = bitwise_crc32(window, kWindowBytes);
  for (std::size_t k = 0; k < kWindowBytes; ++k) {
    for (unsigned b = 0; b < 256; ++b) {
      window[k] = static_cast<unsigned char>(b);
      t.by_position[k][b] = bitwise_crc32(window, kWindowBytes) ^ (k == 0 ? 0 : zero_window);
    }
    window[k] = 0;
  }
  return t;
}

}  // namespace

const WindowByteTables kWindowByteTables = make_window_byte_tables();

const WindowFilterTables kWindowFilterTables = make_window_filter_tables();
const LeavingTable kLeavingTable = make_leaving_table();
