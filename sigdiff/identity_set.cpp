#include "sigdiff/identity_set.h"

#include <cstring>

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

IdentitySet::Slot* IdentitySet::find(const unsigned char* identity, std::uint64_t hash) {
  for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
    Slot& slot = slots_[at];
    if (slot.generation != generation_) return nullptr;
    if (std::memcmp(slot.identity, identity, kIdentityBytes) == 0) return &slot;
  }
}
