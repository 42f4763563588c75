// Kernel choice on CPUs without vector kernels of ours: always the portable
// ones.
#include "chunk_kernels.h"

CpuTier supported_cpu_tier() { return CpuTier::kPortable; }

ChunkKernels kernels_for(CpuTier) { return ChunkKernels{scan_portable, crc32_pair_update_portable}; }
