// ChunkHasher driven byte by byte behind the chunker interface: the reference
// build of chunksig runs it, and the tests hold FastChunker to it.
#ifndef CHUNKSIG_REFERENCE_CHUNKER_H
#define CHUNKSIG_REFERENCE_CHUNKER_H

#include <cstddef>

#include "chunk_hasher.h"
#include "signature_sink.h"

class ReferenceChunker {
 public:
  void start();
  bool take(const unsigned char* bytes, std::size_t count, SignatureSink& sink);
  bool end_segment(SignatureSink& sink);

 private:
  bool cut(SignatureSink& sink);

  ChunkHasher hasher_;
};

#endif  // CHUNKSIG_REFERENCE_CHUNKER_H
