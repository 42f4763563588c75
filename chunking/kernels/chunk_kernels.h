// The hot loops of the fast chunker, in as many versions as CPUs need: the
// candidate scan or the cut search, and the chunk signature CRCs, with the
// tables they share. The version is chosen once per run from what the CPU
// supports (tier_table.h); each tier's versions are in its own file here
// (TIER.cpp), declared in tier_kernels.h.
#ifndef CHUNKING_KERNELS_CHUNK_KERNELS_H
#define CHUNKING_KERNELS_CHUNK_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "chunking/crc32.h"
#include "chunking/cut_rule.h"

// How far around a span the kernels read: a scan looks at the window before
// every position, and the vector scans read whole 64-position rounds. Buffers
// that hand spans to the chunker keep this many readable bytes on each side.
constexpr std::size_t kScanReadsBefore = kWindowBytes;
constexpr std::size_t kScanReadsAfter = 64;

constexpr std::size_t kNoCut = ~static_cast<std::size_t>(0);

struct ChunkKernels {
  // Sets bit i % 64 of bitmap[i / 64] for every position i in [0, count) whose
  // window, the 12 bytes ending at bytes[i], might have a CRC-32 below the cut
  // threshold: every position whose CRC is below it is marked, and a few
  // others may be. Reads bytes[-kScanReadsBefore] to
  // bytes[count + kScanReadsAfter - 1]. Bits for positions from `count` on are
  // unspecified.
  void (*scan)(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap);
  // The first position in [from, last] whose window's CRC-32 is below the cut
  // threshold, or kNoCut. Reads bytes[from - kScanReadsBefore] to
  // bytes[last + kScanReadsAfter - 1].
  std::size_t (*find_cut)(const unsigned char* bytes, std::size_t from, std::size_t last);
  // Continues both signatures over `count` bytes.
  void (*crc_pair)(CrcPair& pair, const unsigned char* bytes, std::size_t count);
};

// by_position[k][b]: what byte b at window position k (0 the oldest) adds to
// the window's CRC-32; the all-zero window's CRC is folded into position 0.
struct WindowByteTables {
  std::uint32_t by_position[kWindowBytes][256];
};
extern const WindowByteTables kWindowByteTables;

namespace {

// The CRC-32 of the 12 bytes that end at `last`: the rolling CRC wherever a
// cut is possible. Twelve independent lookups rather than a chain of twelve.
// Internal linkage, so that the kernel files, each built with its own flags,
// inline their own copies.
inline std::uint32_t window_crc(const unsigned char* last) {
  const unsigned char* first = last - static_cast<std::ptrdiff_t>(kWindowBytes - 1);
  std::uint32_t crc = 0;
  for (std::size_t k = 0; k < kWindowBytes; ++k) crc ^= kWindowByteTables.by_position[k][first[k]];
  return crc;
}

// The exact cut test of the position `last`.
inline bool window_passes(const unsigned char* last) { return window_crc(last) < kBoundaryThreshold; }

}  // namespace

// leaving[b]: what byte b contributes to a window's CRC-32 at the moment it
// drops out of the window, so that rolling by one byte is one table step and
// one XOR.
struct LeavingTable {
  std::uint32_t leaving[256];
};
extern const LeavingTable kLeavingTable;

// The vector scan's lookup tables. The top 7 bits of a window's CRC-32 (all
// zero whenever the CRC is below the cut threshold) are a linear function of
// the window's 96 bits plus a constant, so they are the XOR of one table entry
// per nibble of the window. Window byte k (0 the oldest) picks entry
// low[k][its low nibble] and high[k][its high nibble]; the constant is folded
// into low[0]. Each 16-entry table is stored twice, once per 128-bit lane.
// For GFNI the same linear map is, per window byte k, an 8x8 bit matrix in
// the layout GF2P8AFFINEQB takes (row for result bit r in byte 7 - r), and the
// constant is compared against at the end.
struct WindowFilterTables {
  alignas(32) unsigned char low[kWindowBytes][32];
  alignas(32) unsigned char high[kWindowBytes][32];
  std::uint64_t matrix[kWindowBytes];
  unsigned char constant;
};
extern const WindowFilterTables kWindowFilterTables;

#endif  // CHUNKING_KERNELS_CHUNK_KERNELS_H
