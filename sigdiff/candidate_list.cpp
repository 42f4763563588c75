#include "sigdiff/candidate_list.h"

#include <cstdlib>
#include <cstring>

#include "sigdiff/identity_hash.h"

namespace {
constexpr int kIdentityBytes = 10;
}  // namespace

bool CandidateList::allocate(std::uint64_t capacity) {
  release();
  const std::uint64_t slots = 2 * capacity + 1;  // a free slot ends every probe
  bytes_wanted_ = capacity * kEntryBytes + slots * sizeof(std::uint32_t);
  // Refused before the sum could wrap in a 32-bit size_t.
  if (capacity > kMostCandidates || bytes_wanted_ > SIZE_MAX) return false;
  memory_ = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(bytes_wanted_)));
  if (memory_ == nullptr) return false;
  // The index first, so that its 4-byte slots are aligned.
  slots_ = reinterpret_cast<std::uint32_t*>(memory_);
  entries_ = memory_ + slots * sizeof(std::uint32_t);
  capacity_ = capacity;
  slot_count_ = slots;
  count_ = 0;
  return true;
}

void CandidateList::release() {
  std::free(memory_);
  memory_ = entries_ = nullptr;
  slots_ = nullptr;
  capacity_ = slot_count_ = count_ = 0;
}

bool CandidateList::add(const unsigned char* record, std::uint64_t offset) {
  if (count_ == capacity_) return false;
  unsigned char* at = entry(count_++);
  std::memcpy(at, record, kIdentityBytes);
  std::memcpy(at + kOffsetAt, &offset, sizeof offset);
  at[kStateAt] = kCandidate;
  return true;
}

std::uint64_t CandidateList::offset(std::uint64_t i) const {
  std::uint64_t value;
  std::memcpy(&value, entry(i) + kOffsetAt, sizeof value);
  return value;
}

std::uint32_t* CandidateList::slot_for(const unsigned char* record) const {
  std::uint64_t index = slot_in(identity_hash(record), slot_count_);
  for (;;) {
    std::uint32_t* slot = slots_ + index;
    if (*slot == kNoCandidate || std::memcmp(entry(*slot), record, kIdentityBytes) == 0) return slot;
    if (++index == slot_count_) index = 0;
  }
}

void CandidateList::index() {
  // As many slots as the candidates need, of the room allocated for them.
  slot_count_ = 2 * count_ + 1;
  std::memset(slots_, 0xFF, static_cast<std::size_t>(slot_count_ * sizeof(std::uint32_t)));
  for (std::uint64_t i = 0; i < count_; ++i) {
    std::uint32_t* slot = slot_for(entry(i));
    const unsigned key = filter_key(entry(i));
    filter_[key / 64] |= std::uint64_t{1} << (key % 64);
    if (*slot == kNoCandidate) {
      *slot = static_cast<std::uint32_t>(i);
    } else {
      entry(i)[kStateAt] = kRepeat;
    }
  }
}

void CandidateList::mark_known_in_index(const unsigned char* record) {
  const std::uint32_t* slot = slot_for(record);
  if (*slot != kNoCandidate) entry(*slot)[kStateAt] = kKnown;
}
