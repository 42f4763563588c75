// The portable tier's scan: the rolling CRC-32 byte by byte, as any CPU runs
// it. Built with no instruction-set flag. Its CRC kernel is
// crc32_pair_update_portable (crc32.cpp).
#include "chunk_kernels.h"
#include "crc32.h"
#include "cut_rule.h"
#include "kernels.h"

void scan_portable(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  const std::uint32_t* table = kCrc32Tables.tables[0];
  // The register of the window that ends just before position 0.
  // Positions before `bytes` are reached through a pointer of their own, so
  // that no index is negative.
  const unsigned char* leaving = bytes - static_cast<std::ptrdiff_t>(kWindowBytes);
  std::uint32_t reg = ~crc32_update(0, leaving, kWindowBytes);
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < count; ++i) {
    reg = (reg >> 8) ^ table[(reg ^ bytes[i]) & 0xFF] ^ kLeavingTable.leaving[leaving[i]];
    word |= static_cast<std::uint64_t>(~reg < kBoundaryThreshold) << (i % 64);
    if (i % 64 == 63) {
      bitmap[i / 64] = word;
      word = 0;
    }
  }
  if (count % 64 != 0) bitmap[count / 64] = word;
}
