#include "sigdiff/identity_set.h"

#include <cstring>

std::uint64_t identity_hash(const unsigned char* identity, std::uint64_t key) {
  std::uint64_t crcs;
  std::uint16_t len;
  std::memcpy(&crcs, identity, sizeof crcs);
  std::memcpy(&len, identity + sizeof crcs, sizeof len);
  std::uint64_t x = crcs ^ key;
  x ^= (std::uint64_t{len} + (key >> 17)) * 0x9E3779B97F4A7C15u;
  x ^= x >> 32;
  x *= 0xBF58476D1CE4E5B9u;
  x ^= x >> 29;
  x *= 0x94D049BB133111EBu;
  return x ^ (x >> 32);
}

void IdentitySet::attach(Slot* slots, std::size_t most_slots) {
  slots_ = slots;
  most_slots_ = most_slots;
  std::memset(slots_, 0, most_slots * sizeof(Slot));
  generation_ = 0;
}

void IdentitySet::start(std::size_t capacity) {
  if (++generation_ == 0) {
    std::memset(slots_, 0, most_slots_ * sizeof(Slot));
    generation_ = 1;
  }
  mask_ = capacity - 1;
  size_ = 0;
}

IdentitySet::Added IdentitySet::add(const unsigned char* identity, std::uint64_t hash) {
  for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
    Slot& slot = slots_[at];
    if (slot.generation != generation_) {
      if (2 * (size_ + 1) > mask_ + 1) return Added::kFull;
      std::memcpy(slot.identity, identity, kIdentityBytes);
      slot.generation = generation_;
      slot.mark = 0;
      ++size_;
      return Added::kNew;
    }
    if (std::memcmp(slot.identity, identity, kIdentityBytes) == 0) return Added::kPresent;
  }
}

IdentitySet::Slot* IdentitySet::find(const unsigned char* identity, std::uint64_t hash) {
  for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
    Slot& slot = slots_[at];
    if (slot.generation != generation_) return nullptr;
    if (std::memcmp(slot.identity, identity, kIdentityBytes) == 0) return &slot;
  }
}
