// Windows source of random keys.
#include "common/random_key.h"

#include <windows.h>

#include <bcrypt.h>

std::uint64_t random_key() {
  std::uint64_t key = 0;
  if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&key), sizeof key, BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0) {
    return key;
  }
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<std::uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15u ^ GetCurrentProcessId();
}
