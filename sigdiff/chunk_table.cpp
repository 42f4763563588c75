#include "sigdiff/chunk_table.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char kEmpty = 0xFF;
constexpr std::uint64_t kSmallestTable = 4096;

// Slots for `count` identities at a load of 5/8: 16 bytes each.
std::uint64_t slots_for(std::uint64_t count) { return count + count / 5 * 3 + kSmallestTable; }

bool is_empty(const unsigned char* slot) {
  static const unsigned char kEmptySlot[SignatureRecord::kBytes] = {kEmpty, kEmpty, kEmpty, kEmpty, kEmpty,
                                                                    kEmpty, kEmpty, kEmpty, kEmpty, kEmpty};
  return std::memcmp(slot, kEmptySlot, sizeof kEmptySlot) == 0;
}

// The high 64 bits of a * b: the slot a hash picks in a table of b slots,
// with no division.
std::uint64_t high_product(std::uint64_t a, std::uint64_t b) {
#ifdef __SIZEOF_INT128__
  __extension__ typedef unsigned __int128 Wide;  // GCC's and Clang's, on 64-bit targets
  return static_cast<std::uint64_t>((static_cast<Wide>(a) * b) >> 64);
#else
  const std::uint64_t a_lo = a & 0xFFFFFFFF, a_hi = a >> 32, b_lo = b & 0xFFFFFFFF, b_hi = b >> 32;
  const std::uint64_t lo_lo = a_lo * b_lo, hi_lo = a_hi * b_lo, lo_hi = a_lo * b_hi, hi_hi = a_hi * b_hi;
  const std::uint64_t middle = (lo_lo >> 32) + (hi_lo & 0xFFFFFFFF) + lo_hi;
  return hi_hi + (hi_lo >> 32) + (middle >> 32);
#endif
}

}  // namespace

ChunkTable::~ChunkTable() { std::free(slots_); }

std::uint64_t ChunkTable::slot_of(const unsigned char* identity) const {
  // The CRCs are spread evenly already; the multiplications mix in the
  // length. Bytes in the host's order: only the slot depends on it.
  std::uint64_t crcs;
  std::uint16_t len;
  std::memcpy(&crcs, identity, sizeof crcs);
  std::memcpy(&len, identity + sizeof crcs, sizeof len);
  std::uint64_t hash = crcs ^ (std::uint64_t{len} * 0x9E3779B97F4A7C15u);
  hash *= 0xBF58476D1CE4E5B9u;
  hash ^= hash >> 29;
  return high_product(hash, capacity_);
}

bool ChunkTable::allocate(std::uint64_t slots) {
  bytes_wanted_ = slots * kSlotBytes;
  // Refused before the multiplication could wrap in a 32-bit size_t.
  if (slots > SIZE_MAX / kSlotBytes) return false;
  unsigned char* memory = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(bytes_wanted_)));
  if (memory == nullptr) return false;
  std::memset(memory, kEmpty, static_cast<std::size_t>(bytes_wanted_));
  unsigned char* const old_slots = slots_;
  const std::uint64_t old_capacity = capacity_;
  slots_ = memory;
  capacity_ = slots;
  for (std::uint64_t i = 0; i < old_capacity; ++i) {
    const unsigned char* slot = old_slots + i * kSlotBytes;
    if (!is_empty(slot)) place(slot);
  }
  std::free(old_slots);
  return true;
}

void ChunkTable::place(const unsigned char* identity) {
  std::uint64_t index = slot_of(identity);
  for (;;) {
    unsigned char* slot = slots_ + index * kSlotBytes;
    if (is_empty(slot)) {
      std::memcpy(slot, identity, kSlotBytes);
      return;
    }
    if (++index == capacity_) index = 0;
  }
}

bool ChunkTable::reserve(std::uint64_t count) {
  // Beyond what a 64-bit product holds, no machine has the memory anyway.
  if (count > UINT64_MAX / 32) {
    bytes_wanted_ = UINT64_MAX;
    return false;
  }
  const std::uint64_t slots = slots_for(count);
  return slots <= capacity_ || allocate(slots);
}

ChunkTable::Added ChunkTable::add(const unsigned char* identity) {
  if (is_empty(identity)) {
    const bool known = holds_all_ones_;
    holds_all_ones_ = true;
    return known ? Added::kKnown : Added::kNew;
  }
  // Grows before the load passes 5/8, so probes stay short and a free slot
  // always ends them.
  if (count_ + 1 > capacity_ / 8 * 5 && !allocate(slots_for(2 * (count_ + 1)))) return Added::kNoMemory;
  std::uint64_t index = slot_of(identity);
  for (;;) {
    unsigned char* slot = slots_ + index * kSlotBytes;
    if (is_empty(slot)) {
      std::memcpy(slot, identity, kSlotBytes);
      ++count_;
      return Added::kNew;
    }
    if (std::memcmp(slot, identity, kSlotBytes) == 0) return Added::kKnown;
    if (++index == capacity_) index = 0;
  }
}

void ChunkTable::prefetch(const unsigned char* identity) const {
  if (capacity_ != 0) __builtin_prefetch(slots_ + slot_of(identity) * kSlotBytes);
}
