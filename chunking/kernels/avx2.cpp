// The avx2 tier: the nibble-lookup scan and 128-bit carry-less folding.
// Built with -mavx2 -mpclmul only, what cpu_runs_avx2() checks.
#include <immintrin.h>

#include "chunking/cut_rule.h"
#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/clmul_fold.h"
#include "chunking/kernels/scan_256.h"
#include "chunking/kernels/tier_kernels.h"

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

// Searches from the chunk's first possible cut rather than marking whole
// spans: never looks at the positions after a cut where none can be. One round
// of 64 marks at a time: the search waits on each round's marks, but a cut
// usually comes within a few rounds, and marking more ahead measured slower.
std::size_t find_cut_avx2(const unsigned char* bytes, std::size_t from, std::size_t last) {
  for (std::size_t round = from;; round += 64) {
    std::uint64_t marks = avx2_marks(bytes + round);
    const std::size_t beyond_first = last - round;
    if (beyond_first < 63) marks &= ~(~std::uint64_t{0} << (beyond_first + 1));
    while (marks != 0) {
      const std::size_t position = round + static_cast<std::size_t>(__builtin_ctzll(marks));
      if (window_crc(bytes + position) < kBoundaryThreshold) return position;
      marks &= marks - 1;
    }
    if (beyond_first < 64) return kNoCut;
  }
}
