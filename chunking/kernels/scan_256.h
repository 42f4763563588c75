// Pieces the 256-bit scans share (the avx2 and gfni tiers). Internal linkage
// only, so each kernel file compiles its own copy with its own flags; include
// it only from files built with at least -mavx2.
#ifndef CHUNKING_KERNELS_SCAN_256_H
#define CHUNKING_KERNELS_SCAN_256_H

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace {

__m256i load256(const unsigned char* bytes) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)); }

// The marks of 64 positions from the filter results of their two halves: a
// position is marked where its byte equals `pass`.
std::uint64_t marks_where(__m256i first_half, __m256i second_half, __m256i pass) {
  const auto first = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(first_half, pass)));
  const auto second = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(second_half, pass)));
  return first | static_cast<std::uint64_t>(second) << 32;
}

// The marks of the 64 positions from `first` on, by a window filter in two
// 256-bit halves: `share(window_bytes, k)` is what window byte k (0 the
// oldest) contributes to the filter of the 32 positions whose byte k is
// loaded in `window_bytes`; the XOR of the kWindowBytes shares equals `pass` where a
// position is marked.
template <typename Share>
std::uint64_t marks_of_round(const unsigned char* first, __m256i pass, Share share) {
  // Window byte k of position first + j is window_start[j + k].
  const unsigned char* window_start = first - (kWindowBytes - 1);
  __m256i first_half = _mm256_setzero_si256(), second_half = _mm256_setzero_si256();
#pragma GCC unroll kWindowBytes
  for (int k = 0; k < static_cast<int>(kWindowBytes); ++k) {
    first_half = _mm256_xor_si256(first_half, share(load256(window_start + k), k));
    second_half = _mm256_xor_si256(second_half, share(load256(window_start + k + 32), k));
    // Without this GCC regroups the 24 XORs into one expression and spills
    // every share before combining them.
    asm("" : "+x"(first_half), "+x"(second_half));
  }
  return marks_where(first_half, second_half, pass);
}

// See ChunkKernels::scan; `marks(first)` marks the 64 positions from `first` on.
template <typename MarksOfRound>
void scan_in_rounds(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap, MarksOfRound marks) {
  for (std::size_t i = 0; i < count; i += 64) bitmap[i / 64] = marks(bytes + i);
}

}  // namespace

#endif  // CHUNKING_KERNELS_SCAN_256_H
