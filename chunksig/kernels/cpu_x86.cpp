// The CPU checks of the x86 tiers, built without any instruction-set flag:
// CPUID says what the CPU has, XGETBV whether the operating system saves the
// 256-bit registers across task switches. Each check includes the ones below
// it, as the tier table requires.
#include <cpuid.h>

namespace {

constexpr unsigned kLeaf7EcxGfni = 1u << 8;
constexpr unsigned kLeaf7EcxVpclmulqdq = 1u << 10;

bool os_saves_ymm_state() {
  unsigned low, high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (low & 0x6) == 0x6;  // SSE and AVX state
}

// CPUID leaf 7's ECX when the CPU has AVX2 and PCLMULQDQ with the operating
// system's support, else nothing.
bool leaf7_with_avx2(unsigned* leaf7_ecx) {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool base = (ecx & bit_PCLMUL) && (ecx & bit_AVX) && (ecx & bit_OSXSAVE);
  if (!base || !os_saves_ymm_state()) return false;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  *leaf7_ecx = ecx;
  return (ebx & bit_AVX2) != 0;
}

}  // namespace

bool cpu_runs_avx2() {
  unsigned ecx;
  return leaf7_with_avx2(&ecx);
}

bool cpu_runs_vpclmul() {
  unsigned ecx;
  return leaf7_with_avx2(&ecx) && (ecx & kLeaf7EcxVpclmulqdq);
}

bool cpu_runs_gfni() {
  unsigned ecx;
  return leaf7_with_avx2(&ecx) && (ecx & kLeaf7EcxVpclmulqdq) && (ecx & kLeaf7EcxGfni);
}
