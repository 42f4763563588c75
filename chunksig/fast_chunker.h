// The chunker chunksig runs: cuts found in two stages over whole spans of the
// stream rather than byte by byte.
//
// Stage 1 marks candidate positions over the whole span: a cut needs a chunk
// of at least kMinChunk (> 12) bytes, so wherever a cut is possible the
// rolling CRC is simply the CRC-32 of the 12 stream bytes before it, whatever
// the chunk's start. Stage 2 walks the candidates in order and places the
// cuts: no cut before kMinChunk bytes, one at kMaxChunk, one at every segment
// end. It cuts exactly where ChunkHasher driven byte by byte would.
#ifndef CHUNKSIG_FAST_CHUNKER_H
#define CHUNKSIG_FAST_CHUNKER_H

#include <cstddef>
#include <cstdint>

#include "chunk_kernels.h"
#include "tier_table.h"
#include "crc32.h"
#include "signature_sink.h"

class FastChunker {
 public:
  // The longest span take() accepts.
  static constexpr std::size_t kMaxSpan = 256 * 1024;

  // Starts with no pending chunk, using the kernels of `tier`.
  void start(CpuTier tier = chosen_cpu_tier());

  // Hashes the `count` (<= kMaxSpan) stream bytes at `bytes`, all in the
  // current segment, and queues a record for every chunk that ends among them.
  // The 12 stream bytes before `bytes` and 63 bytes after the span must be
  // readable. False when the sink failed.
  bool take(const unsigned char* bytes, std::size_t count, SignatureSink& sink);

  // Ends the segment: the pending chunk, if any, gets its record.
  bool end_segment(SignatureSink& sink);

 private:
  bool cut(SignatureSink& sink);
  std::size_t next_cut(const unsigned char* bytes, std::size_t from, std::size_t last) const;

  ChunkKernels kernels_;
  CrcPair crc_;          // signatures of the pending chunk's bytes so far
  std::uint32_t count_;  // bytes in the pending chunk
};

#endif  // CHUNKSIG_FAST_CHUNKER_H
