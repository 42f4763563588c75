// The CPU checks of the aarch64 tiers: the kernel tells what the CPU has in
// the auxiliary vector's hardware capabilities. Each check includes the ones
// below it, as the tier table requires.
#include <asm/hwcap.h>
#include <sys/auxv.h>

bool cpu_runs_neon() { return (getauxval(AT_HWCAP) & HWCAP_ASIMD) != 0; }

// The crypto extension, as the pmull tier is built with it: PMULL, and the
// AES and SHA-2 instructions the compiler may assume with it.
bool cpu_runs_pmull() {
  constexpr unsigned long kCrypto = HWCAP_ASIMD | HWCAP_PMULL | HWCAP_AES | HWCAP_SHA2;
  return (getauxval(AT_HWCAP) & kCrypto) == kCrypto;
}
