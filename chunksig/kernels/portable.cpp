// The portable tier's scan: the rolling CRC-32 byte by byte, as any CPU runs
// it, in four lanes at once. Built with no instruction-set flag. Its CRC
// kernel is crc32_pair_update_portable (crc32.cpp).
#include "chunk_kernels.h"
#include "crc32.h"
#include "cut_rule.h"
#include "kernels.h"

namespace {

// One stretch of positions with its own rolling register. Lanes start at a
// multiple of 64 positions, so each writes whole bitmap words of its own.
class ScanLane {
 public:
  ScanLane(const unsigned char* bytes, std::size_t start, std::size_t end)
      : entering_(bytes + start),
        // Positions before the lane are reached through a pointer of their
        // own, so that no index is negative.
        leaving_(bytes + start - static_cast<std::ptrdiff_t>(kWindowBytes)),
        bitmap_word_(start / 64),
        length_(end - start),
        reg_(~crc32_update(0, leaving_, kWindowBytes)) {}

  std::size_t length() const { return length_; }

  // Rolls the window on to the lane's position i and marks it if it passes.
  void step(std::size_t i, std::uint64_t* bitmap) {
    reg_ = (reg_ >> 8) ^ kCrc32Tables.tables[0][(reg_ ^ entering_[i]) & 0xFF] ^
           kLeavingTable.leaving[leaving_[i]];
    word_ |= static_cast<std::uint64_t>(~reg_ < kBoundaryThreshold) << (i % 64);
    if (i % 64 == 63) {
      bitmap[bitmap_word_++] = word_;
      word_ = 0;
    }
  }

  void finish(std::size_t i, std::uint64_t* bitmap) {
    for (; i < length_; ++i) step(i, bitmap);
    if (length_ % 64 != 0) bitmap[bitmap_word_] = word_;
  }

 private:
  const unsigned char* entering_;
  const unsigned char* leaving_;
  std::size_t bitmap_word_;
  std::size_t length_;
  std::uint32_t reg_;
  std::uint64_t word_ = 0;
};

}  // namespace

void scan_portable(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  // Four registers rolling side by side keep the table lookups of one from
  // waiting on another's.
  constexpr std::size_t kLanes = 4;
  const std::size_t lane_length = (count / kLanes + 63) / 64 * 64;
  if ((kLanes - 1) * lane_length >= count) {
    ScanLane(bytes, 0, count).finish(0, bitmap);
    return;
  }
  ScanLane lanes[kLanes] = {ScanLane(bytes, 0, lane_length), ScanLane(bytes, lane_length, 2 * lane_length),
                            ScanLane(bytes, 2 * lane_length, 3 * lane_length),
                            ScanLane(bytes, 3 * lane_length, count)};
  const std::size_t together = lanes[kLanes - 1].length();
  for (std::size_t i = 0; i < together; ++i) {
    for (ScanLane& lane : lanes) lane.step(i, bitmap);
  }
  for (ScanLane& lane : lanes) lane.finish(together, bitmap);
}
