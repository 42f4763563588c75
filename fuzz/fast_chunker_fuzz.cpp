// FastChunker against ChunkHasher driven byte by byte, on arbitrary bytes cut
// into segments and fed in spans as the input says, in a CPU tier the input
// picks: the two must report the same chunks.
//
// Input: tier byte, segment length (2 bytes, 0 for one segment), span length
// (2 bytes, 0 for whole segments), then the stream bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "chunking/fast_chunker.h"
#include "chunking/kernels/chunk_kernels.h"
#include "chunking/reference_chunker.h"
#include "tests/chunker_feed.h"

namespace {

// Readable bytes around the stream, as the kernels may read there.
constexpr std::size_t kPad = kScanReadsBefore > kScanReadsAfter ? kScanReadsBefore : kScanReadsAfter;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < 5) return 0;
  const CpuTier tier = input[0] % (supported_cpu_tier() + 1);
  const std::size_t segment = static_cast<std::size_t>(input[1]) << 8 | input[2];
  const std::size_t span = static_cast<std::size_t>(input[3]) << 8 | input[4];
  static unsigned char stream[kPad + FastChunker::kMaxSpan + kPad];
  const std::size_t stream_size = size - 5 < FastChunker::kMaxSpan ? size - 5 : FastChunker::kMaxSpan;
  for (std::size_t i = 0; i < stream_size; ++i) stream[kPad + i] = input[5 + i];

  static FastChunker fast;
  static ReferenceChunker reference;
  fast.start(tier);
  reference.start();
  std::vector<std::size_t> segments;
  for (std::size_t pos = 0; pos < stream_size; pos += segments.back()) {
    segments.push_back(segment == 0 ? stream_size - pos : std::min(segment, stream_size - pos));
  }
  const std::vector<std::size_t> spans{span == 0 ? FastChunker::kMaxSpan : span};
  if (feed_chunker(fast, stream + kPad, segments, spans) != feed_chunker(reference, stream + kPad, segments, spans)) {
    std::abort();
  }
  return 0;
}
