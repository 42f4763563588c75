#include "chunksig/kernels/tier_table.h"

#include <cstdlib>
#include <cstring>

#include "chunksig/kernels/tier_kernels.h"

// Every check the rows name, each declared once per mention.
#define CHUNK_TIER(name, check, scan, find_cut, crc_pair, flags) bool check();
#include "chunk_tier_rows.inc"
#undef CHUNK_TIER

bool cpu_runs_any() { return true; }

namespace {

struct TierRow {
  const char* name;
  bool (*cpu_runs)();
  ChunkKernels kernels;
};

const TierRow kTiers[] = {
#define CHUNK_TIER(name, check, scan, find_cut, crc_pair, flags) {#name, check, {scan, find_cut, crc_pair}},
#include "chunk_tier_rows.inc"
#undef CHUNK_TIER
};
static_assert(sizeof kTiers / sizeof kTiers[0] == kTierCount, "one row per tier");

}  // namespace

CpuTier supported_cpu_tier() {
  CpuTier tier = kPortableTier;
  while (tier + 1 < kTierCount && kTiers[tier + 1].cpu_runs()) ++tier;
  return tier;
}

CpuTier chosen_cpu_tier() {
  const CpuTier supported = supported_cpu_tier();
  const char* cap = std::getenv("CHUNKTOOLS_CPU_TIER");
  if (cap == nullptr) return supported;
  CpuTier wanted = kPortableTier;
  for (CpuTier tier = 0; tier < kTierCount; ++tier) {
    if (std::strcmp(cap, kTiers[tier].name) == 0) wanted = tier;
  }
  return wanted < supported ? wanted : supported;
}

ChunkKernels kernels_for(CpuTier tier) { return kTiers[tier].kernels; }

const char* cpu_tier_name(CpuTier tier) { return kTiers[tier].name; }
