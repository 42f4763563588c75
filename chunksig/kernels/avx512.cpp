// The avx512 tier's scan: the gfni tier's affine transforms on 512-bit
// registers, 64 positions per step with the marks straight out of a mask
// compare. Built with what cpu_runs_avx512() checks: AVX-512 F, BW and VL,
// GFNI and VPCLMULQDQ (and the AVX2 they include); its CRC kernel is the
// vpclmul tier's.
#include <immintrin.h>

#include "chunk_kernels.h"
#include "kernels.h"

void scan_avx512(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  const WindowFilterTables& t = kWindowFilterTables;
  __m512i matrices[12];
  for (int k = 0; k < 12; ++k) matrices[k] = _mm512_set1_epi64(static_cast<long long>(t.matrix[k]));
  const __m512i constant = _mm512_set1_epi8(static_cast<char>(t.constant));
  for (std::size_t i = 0; i < count; i += 64) {
    // Window byte k of position i + j is window_start[k + j].
    const unsigned char* window_start = bytes + i - 11;
    __m512i top7 = _mm512_gf2p8affine_epi64_epi8(_mm512_loadu_si512(window_start), matrices[0], 0);
#pragma GCC unroll 11
    for (int k = 1; k < 12; ++k) {
      top7 = _mm512_xor_si512(
          top7, _mm512_gf2p8affine_epi64_epi8(_mm512_loadu_si512(window_start + k), matrices[k], 0));
    }
    bitmap[i / 64] = _mm512_cmpeq_epi8_mask(top7, constant);
  }
}
