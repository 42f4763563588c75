// Drives a chunker (FastChunker or ReferenceChunker) over a stream as
// chunksig would, for the unit tests and the fuzz target.
#ifndef TESTS_CHUNKER_FEED_H
#define TESTS_CHUNKER_FEED_H

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "chunking/fast_chunker.h"
#include "records/records.h"

// The signature records, as a signature file holds them, of the chunks
// `chunker` reports for `stream` cut into segments of the given lengths, each
// segment fed in spans of the lengths `spans` gives in turn (cycled, and cut
// to what is left of the segment and to FastChunker::kMaxSpan). The kernels'
// read margins around the stream must be readable.
template <typename Chunker>
std::string feed_chunker(Chunker& chunker, const unsigned char* stream, const std::vector<std::size_t>& segments,
                         const std::vector<std::size_t>& spans) {
  static SignatureRecord ended[FastChunker::kMaxChunksPerSpan];
  std::string signatures;
  const auto append = [&](std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      unsigned char bytes[SignatureRecord::kBytes];
      ended[i].encode(bytes);
      signatures.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
  };
  std::size_t pos = 0, span_index = 0;
  for (std::size_t segment : segments) {
    const std::size_t end = pos + segment;
    while (pos < end) {
      const std::size_t span = std::min({spans[span_index++ % spans.size()], end - pos, FastChunker::kMaxSpan});
      append(chunker.take(stream + pos, span, ended));
      pos += span;
    }
    append(chunker.end_segment(ended));
  }
  return signatures;
}

#endif  // TESTS_CHUNKER_FEED_H
