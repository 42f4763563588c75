// Deterministic pseudo-random numbers for generated inputs: splitmix64, small,
// fast and the same on every platform, so a seed always gives the same files.
#ifndef DEVTOOLS_SPLITMIX64_H
#define DEVTOOLS_SPLITMIX64_H

#include <cstdint>

struct SplitMix64 {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
};

#endif  // DEVTOOLS_SPLITMIX64_H
