// The kernels of each tier of this build's table (tier_choice.h says which
// tier this CPU runs).
#ifndef CHUNKING_KERNELS_TIER_TABLE_H
#define CHUNKING_KERNELS_TIER_TABLE_H

#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/tier_choice.h"

// The kernels of `tier`, which must not exceed supported_cpu_tier().
ChunkKernels kernels_for(CpuTier tier);

#endif  // CHUNKING_KERNELS_TIER_TABLE_H
