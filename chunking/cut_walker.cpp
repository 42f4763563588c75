#include "chunking/cut_walker.h"

#include "chunking/cut_walk.h"

void CutWalker::mark_candidates(const ChunkKernels& kernels, const unsigned char* bytes, std::size_t count,
                                std::uint64_t* marks) {
  kernels.scan(bytes, count, marks);
  marks[count / 64] &= (std::uint64_t{1} << (count % 64)) - 1;  // nothing from `count` on
}

std::size_t CutWalker::walk(const unsigned char* bytes, const std::uint64_t* marks, std::size_t first_bit,
                            std::size_t count, std::uint32_t* cut_ends) {
  std::size_t cuts = 0;
  const unsigned char* span = bytes + first_bit;
  walk_span(
      pending_, count,
      [&](std::size_t from, std::size_t last) { return next_marked_cut(span, marks, first_bit, from, last); },
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
