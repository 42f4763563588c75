// Cuts placed without hashing the bytes, over spans whose candidates were
// marked apart, perhaps by another thread: for chunking in parallel, where
// the CRCs of the pieces between cuts are computed apart and joined after
// (crc32_pair_combine). The cuts are where FastChunker places them.
#ifndef CHUNKING_CUT_WALKER_H
#define CHUNKING_CUT_WALKER_H

#include <cstddef>
#include <cstdint>

#include "chunking/kernels/chunk_kernels.h"

class CutWalker {
 public:
  // The candidates of a span, from any thread: sets bit i % 64 of
  // marks[i / 64] for each position i in [0, count) the kernels' scan marks
  // (every position whose window passes the cut test, and a few more), and
  // clears the bits from `count` on in the count / 64 + 1 words it writes.
  // Reads around the span as the scan does. The scan looks only at the 12
  // bytes before a position, and no chunk ends by the rule before kMinChunk
  // (> 12) bytes, so the marks do not depend on where chunks start: spans can
  // be marked apart, ahead of the walk.
  static void mark_candidates(const ChunkKernels& kernels, const unsigned char* bytes, std::size_t count,
                              std::uint64_t* marks);

  // Walks the `count` positions of a span, position i being bytes[first_bit
  // + i] and bit first_bit + i of `marks`, testing the marked positions that
  // could end a chunk; writes the end of every chunk that ends in the span
  // (one past its last position, counted as the bits are) to `cut_ends`, and
  // returns how many. Reads the 12 bytes before each position tested.
  std::size_t walk(const unsigned char* bytes, const std::uint64_t* marks, std::size_t first_bit, std::size_t count,
                   std::uint32_t* cut_ends);
  // Ends the segment: whether a chunk was open, and so ends here.
  bool end_segment();

 private:
  std::uint32_t pending_ = 0;  // bytes of the chunk still open
};

#endif  // CHUNKING_CUT_WALKER_H
