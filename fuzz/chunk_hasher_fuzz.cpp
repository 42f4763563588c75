// The chunk hasher on arbitrary bytes, with chunks ended by the cut rule and at
// arbitrary extra points (as segment ends do), against a bitwise CRC-32 of what
// each register covers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chunking/chunk_hasher.h"
#include "chunking/cut_rule.h"
#include "tests/reference_model.h"

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the extra ends: every `period`-th byte, if any.
  const std::size_t period = (static_cast<std::size_t>(input[0]) << 8 | input[1]) % 1500;
  static ChunkHasher hasher;
  hasher.init();
  std::string chunk;
  for (std::size_t i = 2; i < size; ++i) {
    hasher.push(input[i]);
    chunk += static_cast<char>(input[i]);
    std::string window = std::string(ChunkHasher::kWindow, '\0') + chunk;
    window.erase(0, window.size() - ChunkHasher::kWindow);
    check(hasher.roll == reference_crc32(window.data(), window.size()));
    check(hasher.count == chunk.size());
    const bool extra_end = period != 0 && i % period == 0;
    if (ends_chunk(hasher.roll, hasher.count) || extra_end) {
      hasher.seal();
      std::string plus1 = chunk;
      for (char& c : plus1) c = static_cast<char>(c + 1);
      check(hasher.sealed.crc_plain == reference_crc32(chunk.data(), chunk.size()));
      check(hasher.sealed.crc_plus1 == reference_crc32(plus1.data(), plus1.size()));
      check(hasher.sealed.count == chunk.size());
      check(hasher.count == 0 && hasher.roll == hasher.roll_init && hasher.crc_plain == 0 &&
            hasher.crc_plus1 == 0);
      chunk.clear();
    }
  }
  return 0;
}
