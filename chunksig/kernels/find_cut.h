// The cut search of the tiers that search from each chunk's first possible
// cut instead of marking whole spans, over the tier's round of 64 marks.
// Internal linkage only, so each kernel file compiles its own copy with its
// own flags.
#ifndef CHUNKSIG_KERNELS_FIND_CUT_H
#define CHUNKSIG_KERNELS_FIND_CUT_H

#include <cstddef>
#include <cstdint>

#include "chunk_kernels.h"
#include "cut_rule.h"

namespace {

// See ChunkKernels::find_cut. `marks_of_round(first)` marks the 64 positions
// from `first` on, as ChunkKernels::scan does. One round at a time: the search
// waits on each round's marks, but a cut usually comes within a few rounds,
// and marking more ahead measured slower.
template <typename MarksOfRound>
std::size_t find_cut_in_rounds(const unsigned char* bytes, std::size_t from, std::size_t last,
                               MarksOfRound marks_of_round) {
  for (std::size_t round = from;; round += 64) {
    std::uint64_t marks = marks_of_round(bytes + round);
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

}  // namespace

#endif  // CHUNKSIG_KERNELS_FIND_CUT_H
