// FastChunker against ChunkHasher driven byte by byte, on arbitrary bytes cut
// into segments and fed in spans as the input says, in a CPU tier the input
// picks: the two must report the same chunks.
//
// Input: tier byte, segment length (2 bytes, 0 for one segment), span length
// (2 bytes, 0 for whole segments), then the stream bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chunk_kernels.h"
#include "fast_chunker.h"
#include "reference_chunker.h"

namespace {

// Readable bytes around the stream, as the kernels may read there.
constexpr std::size_t kPad = kScanReadsBefore > kScanReadsAfter ? kScanReadsBefore : kScanReadsAfter;

// The signature records of the chunks a chunker reports for the stream, cut
// into segments and spans of the given lengths (0: as long as possible).
template <typename Chunker>
std::string signatures(Chunker& chunker, const unsigned char* stream, std::size_t size,
                       std::size_t segment, std::size_t span) {
  static SignatureRecord ended[FastChunker::kMaxChunksPerSpan];
  std::string out;
  const auto append = [&](std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      unsigned char bytes[SignatureRecord::kBytes];
      ended[i].encode(bytes);
      out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
  };
  for (std::size_t pos = 0; pos < size;) {
    const std::size_t end = segment == 0 || size - pos < segment ? size : pos + segment;
    while (pos < end) {
      const std::size_t take = span == 0 || end - pos < span ? end - pos : span;
      append(chunker.take(stream + pos, take, ended));
      pos += take;
    }
    append(chunker.end_segment(ended));
  }
  return out;
}

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
  if (signatures(fast, stream + kPad, stream_size, segment, span) !=
      signatures(reference, stream + kPad, stream_size, segment, span)) {
    std::abort();
  }
  return 0;
}
