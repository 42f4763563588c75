// The neon tier's scan: the nibble-lookup filter with TBL, 64 positions a
// round in four 128-bit registers. Built without extra flags: Advanced SIMD,
// what cpu_runs_neon() checks, is part of the aarch64 base.
#include <arm_neon.h>

#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/tier_kernels.h"

namespace {

// The marks of 64 positions, 16 in each register: a position is marked where
// its filter byte is zero. Each byte keeps its own bit of eight, and three
// rounds of pairwise adds gather them into bytes 0 to 7, position order kept.
std::uint64_t marks_where_zero(const uint8x16_t filters[4]) {
  static const unsigned char kBitOfByte[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t bit_of_byte = vld1q_u8(kBitOfByte);
  uint8x16_t bits[4];
  for (int q = 0; q < 4; ++q) bits[q] = vandq_u8(vceqzq_u8(filters[q]), bit_of_byte);
  uint8x16_t gathered = vpaddq_u8(vpaddq_u8(bits[0], bits[1]), vpaddq_u8(bits[2], bits[3]));
  gathered = vpaddq_u8(gathered, gathered);
  return vgetq_lane_u64(vreinterpretq_u64_u8(gathered), 0);
}

}  // namespace

void scan_neon(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  const WindowFilterTables& t = kWindowFilterTables;
  const uint8x16_t nibble_mask = vdupq_n_u8(0x0F);
  // Window byte k of position i is bytes[i - (kWindowBytes - 1) + k].
  for (std::size_t i = 0; i < count; i += 64) {
    const unsigned char* window_start = bytes + i - (kWindowBytes - 1);
    uint8x16_t filters[4] = {vdupq_n_u8(0), vdupq_n_u8(0), vdupq_n_u8(0), vdupq_n_u8(0)};
#pragma GCC unroll kWindowBytes
    for (std::size_t k = 0; k < kWindowBytes; ++k) {
      const uint8x16_t low = vld1q_u8(t.low[k]);
      const uint8x16_t high = vld1q_u8(t.high[k]);
      for (int q = 0; q < 4; ++q) {
        const uint8x16_t window_bytes = vld1q_u8(window_start + k + 16 * q);
        const uint8x16_t share = veorq_u8(vqtbl1q_u8(low, vandq_u8(window_bytes, nibble_mask)),
                                          vqtbl1q_u8(high, vshrq_n_u8(window_bytes, 4)));
        filters[q] = veorq_u8(filters[q], share);
      }
    }
    bitmap[i / 64] = marks_where_zero(filters);
  }
}
