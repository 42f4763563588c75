#include "sigdiff/chunk_table.h"

#include <cstdlib>
#include <cstring>

#include "sigdiff/identity_hash.h"

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

}  // namespace

ChunkTable::~ChunkTable() { std::free(slots_); }

std::uint64_t ChunkTable::slot_of(const unsigned char* identity) const {
  return slot_in(identity_hash(identity), capacity_);
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

bool ChunkTable::could_reserve(std::uint64_t count) {
  if (count > UINT64_MAX / 32) {
    bytes_wanted_ = UINT64_MAX;
    return false;
  }
  bytes_wanted_ = slots_for(count) * kSlotBytes;
  if (bytes_wanted_ > SIZE_MAX) return false;
  // Untouched, the pages are never made resident.
  void* memory = std::malloc(static_cast<std::size_t>(bytes_wanted_));
  std::free(memory);
  return memory != nullptr;
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
