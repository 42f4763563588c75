// The gfni tier's scan: one affine transform per window byte. Built with
// -mavx2 -mpclmul -mvpclmulqdq -mgfni, what cpu_runs_gfni() checks; its CRC
// kernel is the vpclmul tier's.
#include <immintrin.h>

#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/scan_256.h"
#include "chunking/kernels/tier_kernels.h"

void scan_gfni(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  const WindowFilterTables& t = kWindowFilterTables;
  const __m256i pass = _mm256_set1_epi8(static_cast<char>(t.constant));
  // One affine transform per window byte gives that byte's share of the top
  // 7 bits; the constant of the all-zero window is what a passing position
  // leaves.
  scan_in_rounds(bytes, count, bitmap, [&](const unsigned char* first) {
    return marks_of_round(first, pass, [&](__m256i window_bytes, int k) {
      const __m256i matrix = _mm256_set1_epi64x(static_cast<long long>(t.matrix[k]));
      return _mm256_gf2p8affine_epi64_epi8(window_bytes, matrix, 0);
    });
  });
}
