// The x86 side of carry-less folding (fold_schedule.h): 128-bit registers and
// PCLMULQDQ, shared by the kernels of the tiers that have it. Internal
// linkage only; include it only from kernel files built with at least
// -mpclmul -mavx2.
#ifndef CHUNKING_KERNELS_CLMUL_FOLD_H
#define CHUNKING_KERNELS_CLMUL_FOLD_H

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "chunking/kernels/fold_schedule.h"

namespace {

template <int kDistance>
__m128i fold_constants() {
  return _mm_set_epi64x(static_cast<long long>(FoldBy<kDistance>::kLowHalf),
                        static_cast<long long>(FoldBy<kDistance>::kHighHalf));
}

__m128i fold(__m128i pending, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(pending, constants, 0x00), _mm_clmulepi64_si128(pending, constants, 0x11));
}

// Folding over 128-bit registers; the 256-bit form (two 128-bit lanes folded
// by the same distance) lives with the kernel that may use VPCLMULQDQ.
struct Lanes128 {
  using Vector = __m128i;
  static Vector load(const unsigned char* bytes) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)); }
  static Vector plus_one(Vector v) { return _mm_add_epi8(v, _mm_set1_epi8(1)); }
  static Vector xor_of(Vector a, Vector b) { return _mm_xor_si128(a, b); }
  static Vector and_of(Vector a, Vector b) { return _mm_and_si128(a, b); }
  static Vector or_of(Vector a, Vector b) { return _mm_or_si128(a, b); }
  static Vector shuffle(Vector v, Vector indices) { return _mm_shuffle_epi8(v, indices); }
  static Vector first_word(std::uint32_t word) { return _mm_cvtsi32_si128(static_cast<int>(word)); }
  static Vector fold(Vector pending, Vector constants) { return ::fold(pending, constants); }
  template <int kDistance>
  static Vector constants() { return fold_constants<kDistance>(); }
  static std::uint32_t crc_register(Vector pending) {
    const __m128i high_quadword = _mm_set_epi64x(-1, 0);
    const __m128i fold_and_quotient = _mm_set_epi64x(static_cast<long long>(Reduction::kQuotient),
                                                     static_cast<long long>(Reduction::kFoldByQuadword));
    const __m128i polynomial = _mm_set_epi64x(0, static_cast<long long>(Reduction::kPolynomial));
    // Twice: the low quadword times x^64, onto the high one. 64 bits are left,
    // in the high quadword.
    __m128i rest = _mm_xor_si128(_mm_clmulepi64_si128(pending, fold_and_quotient, 0x00),
                                 _mm_and_si128(pending, high_quadword));
    rest = _mm_xor_si128(_mm_clmulepi64_si128(rest, fold_and_quotient, 0x00), _mm_and_si128(rest, high_quadword));
    // The quotient: the 64 bits plus the top of their product with the
    // quotient constant (one bit low, hence the shift).
    const __m128i product = _mm_clmulepi64_si128(rest, fold_and_quotient, 0x11);
    const __m128i quotient = _mm_xor_si128(_mm_srli_si128(rest, 8), _mm_slli_epi64(product, 1));
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_clmulepi64_si128(quotient, polynomial, 0x00), 2));
  }
};

}  // namespace

#endif  // CHUNKING_KERNELS_CLMUL_FOLD_H
