#include "reference_chunker.h"

#include "cut_rule.h"

void ReferenceChunker::start() { hasher_.init(ChunkHasher::kWindow); }

bool ReferenceChunker::take(const unsigned char* bytes, std::size_t count, SignatureSink& sink) {
  for (std::size_t i = 0; i < count; ++i) {
    hasher_.push(bytes[i]);
    if (ends_chunk(hasher_.roll, hasher_.count) && !cut(sink)) return false;
  }
  return true;
}

bool ReferenceChunker::end_segment(SignatureSink& sink) {
  return hasher_.count == 0 || cut(sink);
}

bool ReferenceChunker::cut(SignatureSink& sink) {
  hasher_.seal();
  return sink.add(SignatureRecord{hasher_.sealed.crc_plus1, hasher_.sealed.crc_plain,
                                  static_cast<std::uint16_t>(hasher_.sealed.count)});
}
