// A set of chunk identities (a signature record's first 10 bytes: both CRCs
// and the length) over slots the caller provides: open addressing with linear
// probing, keyed by a hash the caller computes with a key drawn per run, so
// that no input can be crafted to collide. sigdiff fills one per partition,
// small enough to stay in the processor's cache.
#ifndef SIGDIFF_IDENTITY_SET_H
#define SIGDIFF_IDENTITY_SET_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t kIdentityBytes = 10;

// A 64-bit hash of the identity at `identity`, keyed by `key`: a keyed
// multiply-mix, whose key never leaves the process.
std::uint64_t identity_hash(const unsigned char* identity, std::uint64_t key);

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
  Added add(const unsigned char* identity, std::uint64_t hash);
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
