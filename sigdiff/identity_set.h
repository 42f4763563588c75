// A set of chunk identities (a signature record's first 10 bytes: both CRCs
// and the length) over slots the caller provides: open addressing with linear
// probing, keyed by a hash the caller computes with a key drawn per run, so
// that no input can be crafted to collide. sigdiff fills one per partition,
// small enough to stay in the processor's cache.
#ifndef SIGDIFF_IDENTITY_SET_H
#define SIGDIFF_IDENTITY_SET_H

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr std::size_t kIdentityBytes = 10;

// A 64-bit hash of the identity at `identity`, keyed by `key`: a keyed
// multiply-mix, whose key never leaves the process. Inline: every pass of
// the comparison hashes every record.
inline std::uint64_t identity_hash(const unsigned char* identity, std::uint64_t key) {
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

class IdentitySet {
 public:
  struct Slot {
    unsigned char identity[kIdentityBytes];
    std::uint16_t generation;  // the set's generation when filled; else empty
    std::uint32_t mark;        // the caller's, 0 when added
  };
  static_assert(sizeof(Slot) == 16, "a slot is 16 bytes");

  enum class Added { kNew, kPresent, kFull };

  // `slots` (`most_slots` of them) outlive the set; cleared here once.
  void attach(Slot* slots, std::size_t most_slots);
  // Empties the set and uses `capacity` slots (a power of two, at most
  // most_slots); costs nothing per slot but once in 65535 calls.
  void start(std::size_t capacity);
  // Adds the identity, whose hash is `hash`: kNew when it was not in the set,
  // kPresent when it was, kFull when it was not and the set is half full (it
  // is then not added).
  Added add(const unsigned char* identity, std::uint64_t hash) {
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
  // Asks for the first slot of `hash` to be brought into the cache.
  void prefetch(std::uint64_t hash) const { __builtin_prefetch(&slots_[hash & mask_]); }
  // The slot of the identity, or null when it is not in the set.
  Slot* find(const unsigned char* identity, std::uint64_t hash);
  std::size_t most_slots() const { return most_slots_; }

 private:
  Slot* slots_ = nullptr;
  std::size_t most_slots_ = 0;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
  std::uint16_t generation_ = 0;
};

#endif  // SIGDIFF_IDENTITY_SET_H
