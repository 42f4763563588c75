// ChunkHasher driven byte by byte behind the chunker interface: the reference
// build of chunksig runs it, and the tests hold FastChunker to it.
#ifndef CHUNKING_REFERENCE_CHUNKER_H
#define CHUNKING_REFERENCE_CHUNKER_H

#include <cstddef>

#include "chunking/chunk_hasher.h"
#include "chunking/cut_rule.h"
#include "records/records.h"

class ReferenceChunker {
 public:
  // Spans as long as FastChunker's, and as many chunks in one.
  static constexpr std::size_t kMaxSpan = kSpanBytes;
  static constexpr std::size_t kMaxChunksPerSpan = kMaxSpan / kMinChunk + 1;

  void start();
  // As FastChunker's: the records of the chunks that end in the span.
  std::size_t take(const unsigned char* bytes, std::size_t count, SignatureRecord* ended);
  std::size_t end_segment(SignatureRecord* ended);

 private:
  SignatureRecord cut();

  ChunkHasher hasher_;
};

#endif  // CHUNKING_REFERENCE_CHUNKER_H
