// Kernel choice on x86-64: CPUID says what the CPU has, XGETBV whether the
// operating system saves the 256-bit registers across task switches.
#include <cpuid.h>

#include "chunk_kernels.h"
#include "chunk_kernels_x86.h"

namespace {

constexpr unsigned kLeaf7EcxGfni = 1u << 8;
constexpr unsigned kLeaf7EcxVpclmulqdq = 1u << 10;

bool os_saves_ymm_state() {
  unsigned low, high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (low & 0x6) == 0x6;  // SSE and AVX state
}

}  // namespace

CpuTier supported_cpu_tier() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return CpuTier::kPortable;
  const bool base = (ecx & bit_PCLMUL) && (ecx & bit_AVX) && (ecx & bit_OSXSAVE);
  if (!base || !os_saves_ymm_state()) return CpuTier::kPortable;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return CpuTier::kPortable;
  if (!(ebx & bit_AVX2)) return CpuTier::kPortable;
  if (!(ecx & kLeaf7EcxVpclmulqdq)) return CpuTier::kAvx2;
  return (ecx & kLeaf7EcxGfni) ? CpuTier::kGfni : CpuTier::kAvx2Vpclmul;
}

ChunkKernels kernels_for(CpuTier tier) {
  switch (tier) {
    case CpuTier::kGfni:
      return ChunkKernels{scan_gfni, crc_pair_vpclmul};
    case CpuTier::kAvx2Vpclmul:
      return ChunkKernels{scan_avx2, crc_pair_vpclmul};
    case CpuTier::kAvx2:
      return ChunkKernels{scan_avx2, crc_pair_pclmul};
    case CpuTier::kPortable:
      break;
  }
  return ChunkKernels{scan_portable, crc32_pair_update_portable};
}
