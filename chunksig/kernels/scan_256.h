// Pieces the 256-bit scans share (the avx2 and gfni tiers). Internal linkage
// only, so each kernel file compiles its own copy with its own flags; include
// it only from files built with at least -mavx2.
#ifndef CHUNKSIG_KERNELS_SCAN_256_H
#define CHUNKSIG_KERNELS_SCAN_256_H

#include <immintrin.h>

#include <cstdint>

namespace {

__m256i load256(const unsigned char* bytes) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
}

// The marks of 64 positions from the filter results of their two halves: a
// position is marked where its byte equals `pass`.
std::uint64_t marks_where(__m256i first_half, __m256i second_half, __m256i pass) {
  const auto first = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(first_half, pass)));
  const auto second = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(second_half, pass)));
  return first | static_cast<std::uint64_t>(second) << 32;
}

}  // namespace

#endif  // CHUNKSIG_KERNELS_SCAN_256_H
