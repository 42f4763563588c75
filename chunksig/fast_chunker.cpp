#include "fast_chunker.h"

#include "chunk_hasher.h"
#include "cut_rule.h"

static_assert(ChunkHasher::kWindow == kWindowBytes, "one window for the hasher and the kernels");

namespace {

constexpr std::size_t kNone = ~static_cast<std::size_t>(0);

// The exact test behind a mark: the CRC-32 of the 12 bytes ending at `last`.
bool window_passes(const unsigned char* last) {
  return window_crc(last) < kBoundaryThreshold;
}

}  // namespace

void FastChunker::start(CpuTier tier) {
  kernels_ = kernels_for(tier);
  crc_ = CrcPair{0, 0};
  count_ = 0;
}

// The first marked position in [from, last] whose window passes, or kNone.
std::size_t FastChunker::next_cut(const unsigned char* bytes, std::size_t from,
                                  std::size_t last) const {
  std::size_t word = from / 64;
  std::uint64_t bits = candidates_[word] & (~std::uint64_t{0} << (from % 64));
  for (;;) {
    while (bits == 0) {
      if (++word > last / 64) return kNone;
      bits = candidates_[word];
    }
    const std::size_t position = word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
    if (position > last) return kNone;
    if (window_passes(bytes + position)) return position;
    bits &= bits - 1;
  }
}

std::size_t FastChunker::take(const unsigned char* bytes, std::size_t count, SignatureRecord* ended) {
  kernels_.scan(bytes, count, candidates_);
  std::size_t chunks = 0;
  std::size_t pos = 0;  // first byte not yet in crc_
  while (pos < count) {
    // The pending chunk holds count_ bytes before pos; a chunk ending at q
    // would hold count_ + (q - pos + 1).
    const std::size_t first_allowed = count_ + 1 >= kMinChunk ? pos : pos + (kMinChunk - 1 - count_);
    const std::size_t forced = pos + (kMaxChunk - 1 - count_);
    const std::size_t last = forced < count - 1 ? forced : count - 1;
    std::size_t end = first_allowed <= last ? next_cut(bytes, first_allowed, last) : kNone;
    if (end == kNone && forced == last) end = forced;
    if (end == kNone) {
      kernels_.crc_pair(crc_, bytes + pos, count - pos);
      count_ += static_cast<std::uint32_t>(count - pos);
      return chunks;
    }
    kernels_.crc_pair(crc_, bytes + pos, end + 1 - pos);
    count_ += static_cast<std::uint32_t>(end + 1 - pos);
    ended[chunks++] = cut();
    pos = end + 1;
  }
  return chunks;
}

std::size_t FastChunker::end_segment(SignatureRecord* ended) {
  if (count_ == 0) return 0;
  *ended = cut();
  return 1;
}

SignatureRecord FastChunker::cut() {
  const SignatureRecord record{crc_.plus1, crc_.plain, static_cast<std::uint16_t>(count_)};
  crc_ = CrcPair{0, 0};
  count_ = 0;
  return record;
}
