// Where a chunk identity (a signature record's 10 bytes) goes in a hash table
// of any number of slots; for sigdiff's two tables.
#ifndef SIGDIFF_IDENTITY_HASH_H
#define SIGDIFF_IDENTITY_HASH_H

#include <cstdint>
#include <cstring>

namespace {

// A 64-bit hash of the identity at `identity`. The CRCs are spread evenly
// already; the multiplications mix in the length. The bytes are read in the
// host's order: only where an identity lands depends on it.
inline std::uint64_t identity_hash(const unsigned char* identity) {
  std::uint64_t crcs;
  std::uint16_t len;
  std::memcpy(&crcs, identity, sizeof crcs);
  std::memcpy(&len, identity + sizeof crcs, sizeof len);
  std::uint64_t hash = crcs ^ (std::uint64_t{len} * 0x9E3779B97F4A7C15u);
  hash *= 0xBF58476D1CE4E5B9u;
  return hash ^ (hash >> 29);
}

// The slot `hash` picks among `slots`: the high 64 bits of hash * slots,
// which spreads evenly over any count with no division.
inline std::uint64_t slot_in(std::uint64_t hash, std::uint64_t slots) {
#ifdef __SIZEOF_INT128__
  __extension__ typedef unsigned __int128 Wide;  // GCC's and Clang's, on 64-bit targets
  return static_cast<std::uint64_t>((static_cast<Wide>(hash) * slots) >> 64);
#else
  const std::uint64_t a_lo = hash & 0xFFFFFFFF, a_hi = hash >> 32, b_lo = slots & 0xFFFFFFFF, b_hi = slots >> 32;
  const std::uint64_t lo_lo = a_lo * b_lo, hi_lo = a_hi * b_lo, lo_hi = a_lo * b_hi, hi_hi = a_hi * b_hi;
  const std::uint64_t middle = (lo_lo >> 32) + (hi_lo & 0xFFFFFFFF) + lo_hi;
  return hi_hi + (hi_lo >> 32) + (middle >> 32);
#endif
}

}  // namespace

#endif  // SIGDIFF_IDENTITY_HASH_H
