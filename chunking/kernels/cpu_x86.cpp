// The CPU checks of the x86 tiers, built without any instruction-set flag:
// CPUID says what the CPU has, XGETBV whether the operating system saves the
// 256-bit registers across task switches. Each check includes the ones below
// it, as the tier table requires.
#include <cpuid.h>

namespace {

constexpr unsigned kLeaf7EcxGfni = 1u << 8;
constexpr unsigned kLeaf7EcxVpclmulqdq = 1u << 10;

// The register state the operating system saves across task switches.
unsigned os_saved_state() {
  unsigned low, high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}
constexpr unsigned kYmmState = 0x6;   // SSE and AVX
constexpr unsigned kZmmState = 0xE6;  // and the AVX-512 mask and upper registers

bool os_saves_ymm_state() { return (os_saved_state() & kYmmState) == kYmmState; }

// CPUID leaf 7's EBX and ECX when the CPU has AVX2 and PCLMULQDQ with the
// operating system's support, else nothing.
bool leaf7_with_avx2(unsigned* leaf7_ebx, unsigned* leaf7_ecx) {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool base = (ecx & bit_PCLMUL) && (ecx & bit_AVX) && (ecx & bit_OSXSAVE);
  if (!base || !os_saves_ymm_state()) return false;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  *leaf7_ebx = ebx;
  *leaf7_ecx = ecx;
  return (ebx & bit_AVX2) != 0;
}

}  // namespace

bool cpu_runs_avx2() {
  unsigned ebx, ecx;
  return leaf7_with_avx2(&ebx, &ecx);
}

bool cpu_runs_vpclmul() {
  unsigned ebx, ecx;
  return leaf7_with_avx2(&ebx, &ecx) && (ecx & kLeaf7EcxVpclmulqdq);
}

bool cpu_runs_gfni() {
  unsigned ebx, ecx;
  return leaf7_with_avx2(&ebx, &ecx) && (ecx & kLeaf7EcxVpclmulqdq) && (ecx & kLeaf7EcxGfni);
}

bool cpu_runs_avx512() {
  constexpr unsigned kAvx512 = bit_AVX512F | bit_AVX512BW | bit_AVX512VL;
  unsigned ebx, ecx;
  return cpu_runs_gfni() && leaf7_with_avx2(&ebx, &ecx) && (ebx & kAvx512) == kAvx512 &&
         (os_saved_state() & kZmmState) == kZmmState;
}
