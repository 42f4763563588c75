// The gfni tier's scan: one affine transform per window byte. Built with
// -mavx2 -mpclmul -mvpclmulqdq -mgfni, what cpu_runs_gfni() checks; its CRC
// kernel is the vpclmul tier's.
#include <immintrin.h>

#include "chunk_kernels.h"
#include "kernels.h"
#include "scan_256.h"

void scan_gfni(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  const __m256i zero = _mm256_setzero_si256();
  const WindowFilterTables& t = kWindowFilterTables;
  // One affine transform per window byte gives that byte's share of the top
  // 7 bits; the constant of the all-zero window comes in with byte 0's.
  for (std::size_t i = 0; i < count; i += 64) {
    const unsigned char* window_start = bytes + i - 11;
    __m256i first = zero, second = zero;
#pragma GCC unroll 12
    for (int k = 0; k < 12; ++k) {
      const __m256i matrix = _mm256_set1_epi64x(static_cast<long long>(t.matrix[k]));
      first = _mm256_xor_si256(first, _mm256_gf2p8affine_epi64_epi8(load256(window_start + k), matrix, 0));
      second = _mm256_xor_si256(second, _mm256_gf2p8affine_epi64_epi8(load256(window_start + k + 32), matrix, 0));
    }
    const __m256i constant = _mm256_set1_epi8(static_cast<char>(t.constant));
    bitmap[i / 64] = marks_where(first, second, constant);
  }
}
