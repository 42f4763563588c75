// The avx2 tier: the nibble-lookup scan and 128-bit carry-less folding.
// Built with -mavx2 -mpclmul only, what cpu_runs_avx2() checks.
#include <immintrin.h>

#include "chunk_kernels.h"
#include "clmul_fold.h"
#include "find_cut.h"
#include "kernels.h"
#include "scan_256.h"

void crc_pair_pclmul(CrcPair& pair, const unsigned char* bytes, std::size_t count) {
  if (count < 4 * sizeof(__m128i)) {
    crc32_pair_update_portable(pair, bytes, count);
    return;
  }
  __m128i plain, plus1;
  fold_registers<Lanes128, 4>(pair, bytes, count, plain, plus1);
  finish<Lanes128>(pair, plain, plus1, bytes, count);
}

namespace {

// The marks of the 64 positions from `first` on: each nibble of a window
// byte picks its share from a 16-entry table.
std::uint64_t avx2_marks(const unsigned char* first) {
  const __m256i nibble_mask = _mm256_set1_epi8(0x0F);
  const WindowFilterTables& t = kWindowFilterTables;
  return marks_of_round(first, _mm256_setzero_si256(), [&](__m256i window_bytes, int k) {
    const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.low[k]));
    const __m256i high = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.high[k]));
    const __m256i low_nibbles = _mm256_and_si256(window_bytes, nibble_mask);
    const __m256i high_nibbles = _mm256_and_si256(_mm256_srli_epi16(window_bytes, 4), nibble_mask);
    return _mm256_xor_si256(_mm256_shuffle_epi8(low, low_nibbles), _mm256_shuffle_epi8(high, high_nibbles));
  });
}

}  // namespace

void scan_avx2(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  scan_in_rounds(bytes, count, bitmap, avx2_marks);
}

std::size_t find_cut_avx2(const unsigned char* bytes, std::size_t from, std::size_t last) {
  return find_cut_in_rounds(bytes, from, last, avx2_marks);
}
