// The avx2 tier: the nibble-lookup scan and 128-bit carry-less folding.
// Built with -mavx2 -mpclmul only, what cpu_runs_avx2() checks.
#include <immintrin.h>

#include "chunk_kernels.h"
#include "clmul_fold.h"
#include "kernels.h"
#include "scan_256.h"

void crc_pair_pclmul(CrcPair& pair, const unsigned char* bytes, std::size_t count) {
  if (count < 4 * sizeof(__m128i)) {
    crc32_pair_update_portable(pair, bytes, count);
    return;
  }
  __m128i plain, plus1;
  fold_by_four<Lanes128>(pair, bytes, count, plain, plus1);
  finish(pair, plain, plus1, bytes, count);
}

void scan_avx2(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  const __m256i nibble_mask = _mm256_set1_epi8(0x0F);
  const __m256i zero = _mm256_setzero_si256();
  const WindowFilterTables& t = kWindowFilterTables;
  // 64 positions per round; window byte k of position i is bytes[i - 11 + k].
  for (std::size_t i = 0; i < count; i += 64) {
    const unsigned char* window_start = bytes + i - 11;
    __m256i first = zero, second = zero;
#pragma GCC unroll 12
    for (int k = 0; k < 12; ++k) {
      const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.low[k]));
      const __m256i high = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.high[k]));
      const __m256i a = load256(window_start + k);
      const __m256i b = load256(window_start + k + 32);
      first = _mm256_xor_si256(first, _mm256_shuffle_epi8(low, _mm256_and_si256(a, nibble_mask)));
      first = _mm256_xor_si256(first, _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(a, 4), nibble_mask)));
      second = _mm256_xor_si256(second, _mm256_shuffle_epi8(low, _mm256_and_si256(b, nibble_mask)));
      second = _mm256_xor_si256(second, _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(b, 4), nibble_mask)));
    }
    bitmap[i / 64] = marks_where(first, second, zero);
  }
}

