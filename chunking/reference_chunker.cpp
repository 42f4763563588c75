#include "chunking/reference_chunker.h"

void ReferenceChunker::start() { hasher_.init(); }

std::size_t ReferenceChunker::take(const unsigned char* bytes, std::size_t count, SignatureRecord* ended) {
  std::size_t chunks = 0;
  for (std::size_t i = 0; i < count; ++i) {
    hasher_.push(bytes[i]);
    if (ends_chunk(hasher_.roll, hasher_.count)) ended[chunks++] = cut();
  }
  return chunks;
}

std::size_t ReferenceChunker::end_segment(SignatureRecord* ended) {
  if (hasher_.count == 0) return 0;
  *ended = cut();
  return 1;
}

SignatureRecord ReferenceChunker::cut() {
  hasher_.seal();
  return SignatureRecord{hasher_.sealed.crc_plus1, hasher_.sealed.crc_plain,
                         static_cast<std::uint16_t>(hasher_.sealed.count)};
}
