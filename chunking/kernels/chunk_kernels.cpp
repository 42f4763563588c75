#include "chunking/kernels/chunk_kernels.h"

#include <cstdlib>
#include <cstring>

#include "chunking/cut_rule.h"

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

// The vector filters look at a window CRC's top 7 bits, which are all zero
// for every CRC below the cut threshold.
constexpr int kFilterShift = 25;
static_assert(kBoundaryThreshold <= std::uint32_t{1} << kFilterShift, "a passing window must pass the filter");

// The CRC-32 of a window of zero bytes but `byte` at position k (0 the oldest).
constexpr std::uint32_t window_crc_with(std::size_t k, unsigned char byte) {
  unsigned char window[kWindowBytes] = {};
  window[k] = byte;
  return bitwise_crc32(window, kWindowBytes);
}
constexpr std::uint32_t kZeroWindowCrc = window_crc_with(0, 0);

constexpr WindowFilterTables make_window_filter_tables() {
  WindowFilterTables t{};
  for (std::size_t k = 0; k < kWindowBytes; ++k) {
    for (unsigned nibble = 0; nibble < 16; ++nibble) {
      for (int half = 0; half < 2; ++half) {
        const auto byte = static_cast<unsigned char>(nibble << (4 * half));
        std::uint32_t top7 = (window_crc_with(k, byte) ^ kZeroWindowCrc) >> kFilterShift;
        if (k == 0 && half == 0) top7 ^= kZeroWindowCrc >> kFilterShift;
        unsigned char(&table)[32] = half == 0 ? t.low[k] : t.high[k];
        table[nibble] = table[nibble + 16] = static_cast<unsigned char>(top7);
      }
    }
    for (int bit = 0; bit < 8; ++bit) {
      const auto byte = static_cast<unsigned char>(1u << bit);
      const std::uint32_t top7 = (window_crc_with(k, byte) ^ kZeroWindowCrc) >> kFilterShift;
      for (int r = 0; r < 7; ++r) {
        if ((top7 >> r) & 1) t.matrix[k] |= std::uint64_t{1} << (8 * (7 - r) + bit);
      }
    }
  }
  t.constant = static_cast<unsigned char>(kZeroWindowCrc >> kFilterShift);
  return t;
}

constexpr LeavingTable make_leaving_table() {
  LeavingTable t{};
  unsigned char bytes[kWindowBytes + 1] = {};
  for (unsigned b = 0; b < 256; ++b) {
    bytes[0] = static_cast<unsigned char>(b);
    t.leaving[b] = bitwise_crc32(bytes, kWindowBytes + 1) ^ kZeroWindowCrc;
  }
  return t;
}

constexpr WindowByteTables make_window_byte_tables() {
  WindowByteTables t{};
  for (std::size_t k = 0; k < kWindowBytes; ++k) {
    for (unsigned b = 0; b < 256; ++b) {
      t.by_position[k][b] = window_crc_with(k, static_cast<unsigned char>(b)) ^ (k == 0 ? 0 : kZeroWindowCrc);
    }
  }
  return t;
}

}  // namespace

const WindowByteTables kWindowByteTables = make_window_byte_tables();

const WindowFilterTables kWindowFilterTables = make_window_filter_tables();
const LeavingTable kLeavingTable = make_leaving_table();
