// Where a chunk ends, apart from segment ends.
#ifndef CHUNKING_CUT_RULE_H
#define CHUNKING_CUT_RULE_H

#include <cstddef>
#include <cstdint>

// The rolling window: a cut is judged by the CRC-32 of the last this many
// bytes.
constexpr std::size_t kWindowBytes = 12;
// The most stream bytes a chunker takes in one call, and the block the data
// stream reads.
constexpr std::size_t kSpanBytes = 256 * 1024;

// No cut by the rule before a chunk holds this many bytes.
constexpr std::uint32_t kMinChunk = 100;
// A chunk of at least kMinChunk bytes ends where `roll` is below this value;
// for random bytes about 1 test in 157 passes.
constexpr std::uint32_t kBoundaryThreshold = 0x01A16D3F;
// A chunk ends here whatever `roll` is, so every length fits the 16-bit field
// of a signature record.
constexpr std::uint32_t kMaxChunk = 0xFFFF;

// Whether the byte just pushed is the last of its chunk, given the rolling
// CRC and the chunk's byte count after that push.
constexpr bool ends_chunk(std::uint32_t roll, std::uint32_t count) {
  return count >= kMinChunk && (roll < kBoundaryThreshold || count >= kMaxChunk);
}

#endif  // CHUNKING_CUT_RULE_H
