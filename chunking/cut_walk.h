// The walk that places a span's cuts: no cut by the rule before a chunk holds
// kMinChunk bytes, one wherever the rule's test passes after that, one at
// kMaxChunk whatever the bytes.
#ifndef CHUNKING_CUT_WALK_H
#define CHUNKING_CUT_WALK_H

#include <cstddef>
#include <cstdint>

#include "chunking/cut_rule.h"
#include "chunking/kernels/chunk_kernels.h"

// The first position in [from, last] of a span whose bit is set in `marks`
// and whose window passes the cut test, or kNoCut. `bytes` holds the span's
// first position.
inline std::size_t next_marked_cut(const unsigned char* bytes, const std::uint64_t* marks, std::size_t from,
                                   std::size_t last) {
  std::size_t word = from / 64;
  std::uint64_t bits = marks[word] & (~std::uint64_t{0} << (from % 64));
  for (;;) {
    while (bits == 0) {
      if (++word > last / 64) return kNoCut;
      bits = marks[word];
    }
    const std::size_t position = word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
    if (position > last) return kNoCut;
    if (window_passes(bytes + position)) return position;
    bits &= bits - 1;
  }
}

// Walks the `count` positions of a span with `pending` bytes of a chunk
// before it. next_cut(from, last) gives the first position in [from, last]
// whose test passes, or kNoCut. piece(from, to, ended) is told of each run of
// positions [from, to) in turn; `ended` is the length of the chunk the run
// ends, or 0 when the chunk goes on past the span. Leaves in `pending` the
// bytes of the chunk still open.
template <typename NextCut, typename Piece>
void walk_span(std::uint32_t& pending, std::size_t count, NextCut next_cut, Piece piece) {
  std::size_t pos = 0;
  while (pos < count) {
    // A chunk ending at q would hold pending + (q - pos + 1) bytes.
    const std::size_t first_allowed = pending + 1 >= kMinChunk ? pos : pos + (kMinChunk - 1 - pending);
    const std::size_t forced = pos + (kMaxChunk - 1 - pending);
    const std::size_t last = forced < count - 1 ? forced : count - 1;
    std::size_t end = kNoCut;
    if (first_allowed <= last) end = next_cut(first_allowed, last);
    if (end == kNoCut && forced == last) end = forced;
    if (end == kNoCut) {
      piece(pos, count, std::uint32_t{0});
      pending += static_cast<std::uint32_t>(count - pos);
      return;
    }
    piece(pos, end + 1, static_cast<std::uint32_t>(pending + (end + 1 - pos)));
    pending = 0;
    pos = end + 1;
  }
}

#endif  // CHUNKING_CUT_WALK_H
