#include "chunking/fast_chunker.h"

#include "chunking/chunk_hasher.h"
#include "chunking/cut_rule.h"

static_assert(ChunkHasher::kWindow == kWindowBytes, "one window for the hasher and the kernels");

namespace {

// The exact test behind a mark: the CRC-32 of the 12 bytes ending at `last`.
bool window_passes(const unsigned char* last) { return window_crc(last) < kBoundaryThreshold; }

}  // namespace

void FastChunker::start(CpuTier tier) {
  kernels_ = kernels_for(tier);
  crc_ = CrcPair{0, 0};
  count_ = 0;
}

// The first marked position in [from, last] whose window passes, or kNoCut.
std::size_t FastChunker::next_marked_cut(const unsigned char* bytes, std::size_t from, std::size_t last) const {
  std::size_t word = from / 64;
  std::uint64_t bits = candidates_[word] & (~std::uint64_t{0} << (from % 64));
  for (;;) {
    while (bits == 0) {
      if (++word > last / 64) return kNoCut;
      bits = candidates_[word];
    }
    const std::size_t position = word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
    if (position > last) return kNoCut;
    if (window_passes(bytes + position)) return position;
    bits &= bits - 1;
  }
}

std::size_t FastChunker::take(const unsigned char* bytes, std::size_t count, SignatureRecord* ended) {
  // Tiers with a cut search skip the positions where no cut can be; the
  // others mark the whole span first, which is faster when marking is cheap.
  const bool marked = kernels_.find_cut == nullptr;
  if (marked) kernels_.scan(bytes, count, candidates_);
  std::size_t chunks = 0;
  std::size_t pos = 0;  // first byte not yet in crc_
  while (pos < count) {
    // The pending chunk holds count_ bytes before pos; a chunk ending at q
    // would hold count_ + (q - pos + 1).
    const std::size_t first_allowed = count_ + 1 >= kMinChunk ? pos : pos + (kMinChunk - 1 - count_);
    const std::size_t forced = pos + (kMaxChunk - 1 - count_);
    const std::size_t last = forced < count - 1 ? forced : count - 1;
    std::size_t end = kNoCut;
    if (first_allowed <= last) {
      end = marked ? next_marked_cut(bytes, first_allowed, last) : kernels_.find_cut(bytes, first_allowed, last);
    }
    if (end == kNoCut && forced == last) end = forced;
    if (end == kNoCut) {
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
