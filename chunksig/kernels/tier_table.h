// The kernel tiers of this build, from one table (tiers_x86.def,
// tiers_aarch64.def or tiers_generic.def, chosen by the build, less the rows
// the compiler cannot build: the generated chunk_tier_rows.inc): the
// dispatcher, the tier names and CHUNKTOOLS_CPU_TIER all come from its rows.
#ifndef CHUNKSIG_KERNELS_TIER_TABLE_H
#define CHUNKSIG_KERNELS_TIER_TABLE_H

#include "chunksig/kernels/chunk_kernels.h"

// A tier is its row's position in the table; a higher one needs more of the
// CPU. Row 0 is the portable tier, which every CPU runs.
using CpuTier = unsigned;
constexpr CpuTier kPortableTier = 0;

#define CHUNK_TIER(name, check, scan, find_cut, crc_pair, flags) +1
constexpr CpuTier kTierCount = 0
#include "chunk_tier_rows.inc"
    ;
#undef CHUNK_TIER

// The highest tier this CPU and operating system can run.
CpuTier supported_cpu_tier();

// The supported tier, lowered to the one CHUNKTOOLS_CPU_TIER names when that
// is lower, so that every tier can be tested on one machine. An unknown name
// means the portable tier.
CpuTier chosen_cpu_tier();

// The kernels of `tier`, which must not exceed supported_cpu_tier().
ChunkKernels kernels_for(CpuTier tier);

const char* cpu_tier_name(CpuTier tier);

#endif  // CHUNKSIG_KERNELS_TIER_TABLE_H
