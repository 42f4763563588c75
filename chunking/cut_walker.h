// Cuts placed over spans whose cut tests are already marked
// (FastChunker::mark_cuts), without hashing the bytes: for chunking in
// parallel, where the CRCs of the pieces between cuts are computed apart and
// joined after (crc32_pair_combine). The cuts are where FastChunker would
// place them over the same spans.
#ifndef CHUNKING_CUT_WALKER_H
#define CHUNKING_CUT_WALKER_H

#include <cstddef>
#include <cstdint>

#include "chunking/kernels/chunk_kernels.h"

class CutWalker {
 public:
  // The cut tests of a span, from any thread: sets bit i % 64 of
  // passes[i / 64] for each position i in [0, count) whose window passes, and
  // clears every other bit of the count / 64 + 1 words it writes. Reads
  // around the span as the kernels' scan does. A test looks only at the 12
  // bytes before a position, and no chunk ends by the rule before kMinChunk
  // (> 12) bytes, so the tests do not depend on where chunks start: spans
  // can be marked apart, ahead of the walk.
  static void mark_cuts(const ChunkKernels& kernels, const unsigned char* bytes, std::size_t count,
                        std::uint64_t* passes);

  // Walks the `count` positions of a span, position i being bit first_bit + i
  // of `passes`; writes the end of every chunk that ends in it (one past its
  // last position, counted as the bits are) to `cut_ends`, and returns how
  // many.
  std::size_t walk(const std::uint64_t* passes, std::size_t first_bit, std::size_t count, std::uint32_t* cut_ends);
  // Ends the segment: whether a chunk was open, and so ends here.
  bool end_segment();

 private:
  std::uint32_t pending_ = 0;  // bytes of the chunk still open
};

#endif  // CHUNKING_CUT_WALKER_H
