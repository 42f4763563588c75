#include "chunking/fast_chunker.h"

#include "chunking/chunk_hasher.h"
#include "chunking/cut_walk.h"
#include "chunking/cut_rule.h"

static_assert(ChunkHasher::kWindow == kWindowBytes, "one window for the hasher and the kernels");

void FastChunker::start(CpuTier tier) {
  kernels_ = kernels_for(tier);
  crc_ = CrcPair{0, 0};
  count_ = 0;
}

std::size_t FastChunker::take(const unsigned char* bytes, std::size_t count, SignatureRecord* ended) {
  // Tiers with a cut search skip the positions where no cut can be; the
  // others mark the whole span first, which is faster when marking is cheap.
  const bool marked = kernels_.find_cut == nullptr;
  if (marked) kernels_.scan(bytes, count, candidates_);
  return walk(bytes, count, marked, ended);
}

std::size_t FastChunker::walk(const unsigned char* bytes, std::size_t count, bool marked, SignatureRecord* ended) {
  std::size_t chunks = 0;
  walk_span(
      count_, count,
      [&](std::size_t from, std::size_t last) {
        return marked ? next_marked_cut(bytes, candidates_, from, last) : kernels_.find_cut(bytes, from, last);
      },
      [&](std::size_t from, std::size_t to, std::uint32_t ended_length) {
        kernels_.crc_pair(crc_, bytes + from, to - from);
        if (ended_length != 0) ended[chunks++] = cut(ended_length);
      });
  return chunks;
}

std::size_t FastChunker::end_segment(SignatureRecord* ended) {
  if (count_ == 0) return 0;
  *ended = cut(count_);
  count_ = 0;
  return 1;
}

SignatureRecord FastChunker::cut(std::uint32_t length) {
  const SignatureRecord record{crc_.plus1, crc_.plain, static_cast<std::uint16_t>(length)};
  crc_ = CrcPair{0, 0};
  return record;
}
