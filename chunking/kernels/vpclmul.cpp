// The vpclmul tier's CRC kernel: carry-less folding over 256-bit registers.
// Built with -mavx2 -mpclmul -mvpclmulqdq, what cpu_runs_vpclmul() checks; its
// scan is the avx2 tier's.
#include <immintrin.h>

#include "chunking/kernels/clmul_fold.h"
#include "chunking/kernels/tier_kernels.h"

namespace {

template <int kDistance>
__m256i fold_constants_256() {
  return _mm256_broadcastsi128_si256(fold_constants<kDistance>());
}

// Two 128-bit lanes, each folded by the same distance.
struct Lanes256 {
  using Vector = __m256i;
  static Vector load(const unsigned char* bytes) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)); }
  static Vector plus_one(Vector v) { return _mm256_add_epi8(v, _mm256_set1_epi8(1)); }
  static Vector xor_of(Vector a, Vector b) { return _mm256_xor_si256(a, b); }
  static Vector first_word(std::uint32_t word) {
    return _mm256_setr_epi32(static_cast<int>(word), 0, 0, 0, 0, 0, 0, 0);
  }
  static Vector fold(Vector pending, Vector constants) {
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(pending, constants, 0x00),
                            _mm256_clmulepi64_epi128(pending, constants, 0x11));
  }
  template <int kDistance>
  static Vector constants() {
    return fold_constants_256<kDistance>();
  }
};

}  // namespace

void crc_pair_vpclmul(CrcPair& pair, const unsigned char* bytes, std::size_t count) {
  if (count < 256) {
    crc_pair_pclmul(pair, bytes, count);
    return;
  }
  __m256i plain, plus1;
  fold_registers<Lanes256, 4>(pair, bytes, count, plain, plus1);
  // The earlier 128-bit lane folds onto the later one.
  const __m128i by128 = fold_constants<128>();
  finish<Lanes128>(pair,
                   _mm_xor_si128(fold(_mm256_castsi256_si128(plain), by128), _mm256_extracti128_si256(plain, 1)),
                   _mm_xor_si128(fold(_mm256_castsi256_si128(plus1), by128), _mm256_extracti128_si256(plus1, 1)),
                   bytes, count);
}
