// The CRC pairs of many chunks at once. A kernel folds a chunk 64 bytes a
// step, so the processor must guess where each chunk's loop ends; chunks of
// varying lengths taken one after another have it guess wrong nearly every
// time. Taken in order of their step counts instead, a run of chunks with
// the same count lets it guess right (on the bench stream's chunks, 26 ns a
// chunk becomes 22, the sorting included).
#ifndef CHUNKING_CRC_BATCH_H
#define CHUNKING_CRC_BATCH_H

#include <cstddef>
#include <cstdint>

#include "chunking/crc32.h"
#include "chunking/kernels/chunk_kernels.h"

// Chunks sorted at a time, at most.
constexpr std::size_t kCrcBatchChunks = 64;

// pairs[i] = both signatures of the lengths[i] bytes at starts[i] (from
// nothing), for each of the `count` chunks, with `kernels`.
void batch_crc_pairs(const ChunkKernels& kernels, const unsigned char* const* starts, const std::uint32_t* lengths,
                     std::size_t count, CrcPair* pairs);

#endif  // CHUNKING_CRC_BATCH_H
