// The portable tier's scan: the rolling CRC-32 byte by byte, as any CPU runs
// it, in four lanes at once. Built with no instruction-set flag. Its CRC
// kernel is crc32_pair_update_portable (crc32.cpp).
#include "chunking/crc32.h"
#include "chunking/cut_rule.h"
#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/tier_kernels.h"

namespace {

constexpr std::size_t kLanes = 4;

// The register of the window that ends at `last`, kept inverted as the
// rolling step below leaves it.
std::uint32_t window_register(const unsigned char* last) { return ~window_crc(last); }

// Rolls the window on by one byte: `entering` joins it, `leaving` (the byte
// twelve before) drops out.
std::uint32_t roll(std::uint32_t reg, unsigned char entering, unsigned char leaving) {
  // The entering byte changes only the low byte, which the shift drops: one
  // register serves both the index and the shift.
  const std::uint32_t mixed = reg ^ entering;
  return (mixed >> 8) ^ kCrc32Tables.tables[0][mixed & 0xFF] ^ kLeavingTable.leaving[leaving];
}

void mark(std::uint64_t* bitmap, std::size_t position) { bitmap[position / 64] |= std::uint64_t{1} << (position % 64); }

// Marks the passing positions in [from, to), rolling from the window before
// `from`.
void scan_one_lane(const unsigned char* bytes, std::size_t from, std::size_t to, std::uint64_t* bitmap) {
  if (from >= to) return;
  std::uint32_t reg = window_register(bytes + from);
  if (~reg < kBoundaryThreshold) mark(bitmap, from);
  for (std::size_t i = from + 1; i < to; ++i) {
    // The leaving byte is reached back from the entering one: an index below
    // zero would wrap.
    const unsigned char* entering = bytes + i;
    reg = roll(reg, *entering, entering[-static_cast<std::ptrdiff_t>(kWindowBytes)]);
    if (__builtin_expect(~reg < kBoundaryThreshold, 0)) mark(bitmap, i);
  }
}

}  // namespace

void scan_portable(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  for (std::size_t word = 0; word < (count + 63) / 64; ++word) bitmap[word] = 0;
  // Four registers rolling side by side, each over a quarter of the span,
  // keep the table lookups of one from waiting on another's. Passing
  // positions are rare, so marking them is a branch rather than arithmetic
  // on every position.
  const std::size_t lane_length = count / kLanes;
  if (lane_length < 2) {
    scan_one_lane(bytes, 0, count, bitmap);
    return;
  }
  const unsigned char* lane[kLanes];
  std::uint32_t reg[kLanes];
  for (std::size_t l = 0; l < kLanes; ++l) {
    lane[l] = bytes + l * lane_length;
    reg[l] = window_register(lane[l]);
    if (~reg[l] < kBoundaryThreshold) mark(bitmap, l * lane_length);
  }
  for (std::size_t i = 1; i < lane_length; ++i) {
#pragma GCC unroll 4
    for (std::size_t l = 0; l < kLanes; ++l) {
      // The position to mark comes from the pointer, so that the loop keeps
      // no count per lane.
      const unsigned char* entering = lane[l] + i;
      reg[l] = roll(reg[l], *entering, entering[-static_cast<std::ptrdiff_t>(kWindowBytes)]);
      if (__builtin_expect(~reg[l] < kBoundaryThreshold, 0)) mark(bitmap, static_cast<std::size_t>(entering - bytes));
    }
  }
  // What the quarters leave over at the end.
  scan_one_lane(bytes, kLanes * lane_length, count, bitmap);
}
