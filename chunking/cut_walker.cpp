#include "chunking/cut_walker.h"

#include "chunking/cut_walk.h"

namespace {

// The first position in [from, last] marked from bit `first_bit` on, or kNoCut.
std::size_t next_pass(const std::uint64_t* passes, std::size_t first_bit, std::size_t from, std::size_t last) {
  const std::size_t first = first_bit + from, final = first_bit + last;
  std::size_t word = first / 64;
  std::uint64_t bits = passes[word] & (~std::uint64_t{0} << (first % 64));
  while (bits == 0) {
    if (++word > final / 64) return kNoCut;
    bits = passes[word];
  }
  const std::size_t bit = word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
  return bit > final ? kNoCut : bit - first_bit;
}

}  // namespace

void CutWalker::mark_cuts(const ChunkKernels& kernels, const unsigned char* bytes, std::size_t count,
                          std::uint64_t* passes) {
  kernels.scan(bytes, count, passes);
  passes[count / 64] &= (std::uint64_t{1} << (count % 64)) - 1;  // nothing from `count` on
  for (std::size_t word = 0; word <= count / 64; ++word) {
    const unsigned char* word_bytes = bytes + word * 64;
    std::uint64_t kept = 0;
    for (std::uint64_t bits = passes[word]; bits != 0; bits &= bits - 1) {
      const unsigned bit = static_cast<unsigned>(__builtin_ctzll(bits));
      kept |= static_cast<std::uint64_t>(window_passes(word_bytes + bit)) << bit;
    }
    passes[word] = kept;
  }
}

std::size_t CutWalker::walk(const std::uint64_t* passes, std::size_t first_bit, std::size_t count,
                            std::uint32_t* cut_ends) {
  std::size_t cuts = 0;
  walk_span(
      pending_, count, [&](std::size_t from, std::size_t last) { return next_pass(passes, first_bit, from, last); },
      [&](std::size_t, std::size_t to, std::uint32_t ended_length) {
        if (ended_length != 0) cut_ends[cuts++] = static_cast<std::uint32_t>(first_bit + to);
      });
  return cuts;
}

bool CutWalker::end_segment() {
  const bool open = pending_ != 0;
  pending_ = 0;
  return open;
}
