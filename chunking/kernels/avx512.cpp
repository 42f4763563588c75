// The avx512 tier: the gfni tier's affine transforms on 512-bit
// registers, 64 positions per step with the marks straight out of a mask
// compare, and the CRC pair folded in 512-bit registers. Built with what
// cpu_runs_avx512() checks: AVX-512 F, BW and VL, GFNI and VPCLMULQDQ (and
// the AVX2 they include).
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's AVX-512 lane extracts start from _mm512_undefined_*() and then
// warn, from inside the header, that it may be used uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/clmul_fold.h"
#include "chunking/kernels/tier_kernels.h"

void scan_avx512(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  const WindowFilterTables& t = kWindowFilterTables;
  __m512i matrices[kWindowBytes];
  for (std::size_t k = 0; k < kWindowBytes; ++k) matrices[k] = _mm512_set1_epi64(static_cast<long long>(t.matrix[k]));
  const __m512i constant = _mm512_set1_epi8(static_cast<char>(t.constant));
  for (std::size_t i = 0; i < count; i += 64) {
    // Window byte k of position i + j is window_start[k + j].
    const unsigned char* window_start = bytes + i - (kWindowBytes - 1);
    __m512i top7 = _mm512_gf2p8affine_epi64_epi8(_mm512_loadu_si512(window_start), matrices[0], 0);
#pragma GCC unroll kWindowBytes - 1
    for (std::size_t k = 1; k < kWindowBytes; ++k) {
      top7 =
          _mm512_xor_si512(top7, _mm512_gf2p8affine_epi64_epi8(_mm512_loadu_si512(window_start + k), matrices[k], 0));
    }
    bitmap[i / 64] = _mm512_cmpeq_epi8_mask(top7, constant);
  }
}

namespace {

// Four 128-bit lanes, each folded by the same distance: one register holds
// 64 bytes of a signature.
struct Lanes512 {
  using Vector = __m512i;
  static Vector load(const unsigned char* bytes) { return _mm512_loadu_si512(bytes); }
  static Vector plus_one(Vector v) { return _mm512_add_epi8(v, _mm512_set1_epi8(1)); }
  static Vector xor_of(Vector a, Vector b) { return _mm512_xor_si512(a, b); }
  static Vector first_word(std::uint32_t word) {
    return _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(word)));
  }
  static Vector fold(Vector pending, Vector constants) {
    return _mm512_xor_si512(_mm512_clmulepi64_epi128(pending, constants, 0x00),
                            _mm512_clmulepi64_epi128(pending, constants, 0x11));
  }
  template <int kDistance>
  static Vector constants() { return _mm512_broadcast_i32x4(fold_constants<kDistance>()); }
  // Lane j folds by distance kDj.
  template <int kD0, int kD1, int kD2, int kD3>
  static Vector lane_constants() {
    const __m256i low = _mm256_set_m128i(fold_constants<kD1>(), fold_constants<kD0>());
    const __m256i high = _mm256_set_m128i(fold_constants<kD3>(), fold_constants<kD2>());
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
  }
};

// The 128 pending bits of a message whose last 512 are `pending`: each
// earlier lane folded onto the last by its distance from it.
__m128i onto_last_lane(__m512i pending) {
  // Lane 3 is not folded; its constants are never used.
  const __m512i folded = Lanes512::fold(pending, Lanes512::lane_constants<384, 256, 128, 128>());
  return _mm_xor_si128(_mm_xor_si128(_mm512_castsi512_si128(folded), _mm512_extracti32x4_epi32(folded, 1)),
                       _mm_xor_si128(_mm512_extracti32x4_epi32(folded, 2), _mm512_extracti32x4_epi32(pending, 3)));
}

}  // namespace

// One 512-bit register per signature, folded 64 bytes at a time: most chunks
// are a few hundred bytes, too short for the four registers of the 256-bit
// kernel to pay off.
void crc_pair_avx512(CrcPair& pair, const unsigned char* bytes, std::size_t count) {
  if (count < sizeof(__m512i)) {
    crc_pair_pclmul(pair, bytes, count);
    return;
  }
  __m512i plain, plus1;
  fold_registers<Lanes512, 1>(pair, bytes, count, plain, plus1);
  finish<Lanes128>(pair, onto_last_lane(plain), onto_last_lane(plus1), bytes, count);
}
