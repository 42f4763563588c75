// cpu_tiers [supported]: prints the kernel tiers of this build, lowest first,
// one name per line; with "supported", only those this CPU runs. The
// benchmark, the soak run and the fuzz seeds take their lists of tiers from
// it, so that none of them spells a tier out.
#include <cstdio>
#include <cstring>

#include "chunking/kernels/tier_table.h"

int main(int argc, char** argv) {
  const bool only_supported = argc > 1 && std::strcmp(argv[1], "supported") == 0;
  const CpuTier last = only_supported ? supported_cpu_tier() : kTierCount - 1;
  for (CpuTier tier = kPortableTier; tier <= last; ++tier) std::printf("%s\n", cpu_tier_name(tier));
  return std::fflush(stdout) == 0 ? 0 : 1;
}
