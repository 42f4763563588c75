// A random value drawn once per run, for keying hashes that input from
// someone else could otherwise be crafted against: the key never leaves the
// process, so no file can be made to collide under it.
#ifndef COMMON_RANDOM_KEY_H
#define COMMON_RANDOM_KEY_H

#include <cstdint>

// 64 random bits from the system (getrandom, /dev/urandom, BCryptGenRandom);
// where none answers, a mix of the clock and the process, which still differs
// from run to run.
std::uint64_t random_key();

#endif  // COMMON_RANDOM_KEY_H
