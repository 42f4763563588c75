// The kernels of each tier of this build's table (tier_choice.h says which
// tier this CPU runs).
#ifndef CHUNKSIG_KERNELS_TIER_TABLE_H
#define CHUNKSIG_KERNELS_TIER_TABLE_H

#include "chunksig/kernels/chunk_kernels.h"
#include "chunksig/kernels/tier_choice.h"

// The kernels of `tier`, which must not exceed supported_cpu_tier().
ChunkKernels kernels_for(CpuTier tier);

#endif  // CHUNKSIG_KERNELS_TIER_TABLE_H
