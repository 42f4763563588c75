// The chunker chunksig runs: cuts found over whole spans of the stream rather
// than byte by byte.
//
// A cut needs a chunk of at least kMinChunk (> 12) bytes, so wherever a cut is
// possible the rolling CRC is simply the CRC-32 of the 12 stream bytes before
// it, whatever the chunk's start. Candidate positions can therefore be marked
// by a vector filter before the walk (stage 1), or searched for from each
// chunk's first possible cut on, depending on the tier. The walk (stage 2)
// places the cuts: no cut before kMinChunk bytes, one at kMaxChunk, one at
// every segment end. It cuts exactly where ChunkHasher driven byte by byte
// would.
#ifndef CHUNKING_FAST_CHUNKER_H
#define CHUNKING_FAST_CHUNKER_H

#include <cstddef>
#include <cstdint>

#include "chunking/crc32.h"
#include "chunking/cut_rule.h"
#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/tier_table.h"
#include "records/records.h"

// A cut finder: it reports the chunks that end in each span handed to it, as
// signature records, and carries the pending chunk from span to span. What
// becomes of the records is the caller's affair. Its state is large (a mark
// per position of a span), so the tools keep it in static storage.
class FastChunker {
 public:
  // The longest span take() accepts.
  static constexpr std::size_t kMaxSpan = kSpanBytes;
  // The most chunks one span can end: the pending one, then chunks of at
  // least kMinChunk bytes.
  static constexpr std::size_t kMaxChunksPerSpan = kMaxSpan / kMinChunk + 1;

  // Starts with no pending chunk, using the kernels of `tier`.
  void start(CpuTier tier = chosen_cpu_tier());

  // Hashes the `count` (<= kMaxSpan) stream bytes at `bytes`, all in the
  // current segment, and writes the record of every chunk that ends among
  // them to `ended` (room for kMaxChunksPerSpan); returns how many. The
  // kScanReadsBefore stream bytes before `bytes` and kScanReadsAfter bytes
  // after the span must be readable.
  std::size_t take(const unsigned char* bytes, std::size_t count, SignatureRecord* ended);

  // Ends the segment: writes the pending chunk's record, if there is one, to
  // `ended` and returns 1, else 0.
  std::size_t end_segment(SignatureRecord* ended);

  // The pending chunk: its bytes so far (0 right after a cut) and their
  // signatures. resume() makes the chunker go on from such a chunk, as if it
  // had taken its bytes itself.
  std::uint32_t pending_length() const { return count_; }
  CrcPair pending_signatures() const { return crc_; }
  void resume(CrcPair signatures, std::uint32_t length) {
    crc_ = signatures;
    count_ = length;
  }

 private:
  // The record of the chunk whose bytes crc_ holds, `length` of them; crc_
  // starts afresh.
  SignatureRecord cut(std::uint32_t length);
  // The records of the chunks that end in the span, with cuts found by the
  // tier's cut search, or among the candidates marked in candidates_.
  std::size_t walk(const unsigned char* bytes, std::size_t count, bool marked, SignatureRecord* ended);

  ChunkKernels kernels_;
  CrcPair crc_;          // signatures of the pending chunk's bytes so far
  std::uint32_t count_;  // bytes in the pending chunk
  // Stage 1's marks for the current span, one bit per position, in tiers that
  // mark whole spans.
  std::uint64_t candidates_[kMaxSpan / 64 + 1];
};

#endif  // CHUNKING_FAST_CHUNKER_H
