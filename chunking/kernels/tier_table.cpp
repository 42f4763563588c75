#include "chunking/kernels/tier_table.h"

#include "chunking/kernels/tier_kernels.h"

namespace {

const ChunkKernels kTierKernels[] = {
#define CHUNK_TIER(name, check, scan, find_cut, crc_pair, flags) {scan, find_cut, crc_pair},
#include "chunk_tier_rows.inc"
#undef CHUNK_TIER
};
static_assert(sizeof kTierKernels / sizeof kTierKernels[0] == kTierCount, "one row per tier");

}  // namespace

ChunkKernels kernels_for(CpuTier tier) { return kTierKernels[tier]; }
