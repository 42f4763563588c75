#include "chunking/crc_batch.h"

namespace {

// Chunks of 1 to kLongClass - 1 steps of 64 bytes each have a class of
// their own; longer ones share the last, where a wrong guess costs little
// beside their folding.
constexpr unsigned kLongClass = 9;

unsigned step_class(std::uint32_t length) {
  const std::uint32_t steps = (length + 63) / 64;
  return steps < kLongClass ? steps : kLongClass;
}

}  // namespace

void batch_crc_pairs(const ChunkKernels& kernels, const unsigned char* const* starts, const std::uint32_t* lengths,
                     std::size_t count, CrcPair* pairs) {
  for (std::size_t first = 0; first < count; first += kCrcBatchChunks) {
    const std::size_t size = count - first < kCrcBatchChunks ? count - first : kCrcBatchChunks;
    // A counting sort by class: where each class starts, then the order.
    unsigned char class_start[kLongClass + 2] = {};
    for (std::size_t i = 0; i < size; ++i) ++class_start[step_class(lengths[first + i]) + 1];
    for (unsigned c = 1; c <= kLongClass + 1; ++c)
      class_start[c] = static_cast<unsigned char>(class_start[c] + class_start[c - 1]);
    unsigned char order[kCrcBatchChunks];
    for (std::size_t i = 0; i < size; ++i)
      order[class_start[step_class(lengths[first + i])]++] = static_cast<unsigned char>(i);
    for (std::size_t k = 0; k < size; ++k) {
      const std::size_t i = first + order[k];
      pairs[i] = CrcPair{0, 0};
      kernels.crc_pair(pairs[i], starts[i], lengths[i]);
    }
  }
}
