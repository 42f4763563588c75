#include "chunking/kernels/tier_choice.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

// Every check the rows name, each declared once per mention.
#define CHUNK_TIER(name, check, scan, find_cut, crc_pair, flags) bool check();
#include "chunk_tier_rows.inc"
#undef CHUNK_TIER

bool cpu_runs_any() { return true; }

namespace {

struct TierCheck {
  const char* name;
  bool (*cpu_runs)();
};

const TierCheck kTierChecks[] = {
#define CHUNK_TIER(name, check, scan, find_cut, crc_pair, flags) {#name, check},
#include "chunk_tier_rows.inc"
#undef CHUNK_TIER
};
static_assert(sizeof kTierChecks / sizeof kTierChecks[0] == kTierCount, "one row per tier");

bool same_name_ignoring_case(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

// The setting, or null when it is unset or empty.
const char* tier_setting() {
  const char* setting = std::getenv("CHUNKTOOLS_CPU_TIER");
  return setting != nullptr && *setting != '\0' ? setting : nullptr;
}

}  // namespace

CpuTier supported_cpu_tier() {
  CpuTier tier = kPortableTier;
  while (tier + 1 < kTierCount && kTierChecks[tier + 1].cpu_runs()) ++tier;
  return tier;
}

CpuTier chosen_cpu_tier() {
  const CpuTier supported = supported_cpu_tier();
  const char* cap = tier_setting();
  if (cap == nullptr) return supported;
  CpuTier wanted = kPortableTier;
  for (CpuTier tier = 0; tier < kTierCount; ++tier) {
    if (same_name_ignoring_case(cap, kTierChecks[tier].name)) wanted = tier;
  }
  return wanted < supported ? wanted : supported;
}

const char* cpu_tier_name(CpuTier tier) { return kTierChecks[tier].name; }

const char* describe_cpu_tiers(char* text, std::size_t size) {
  std::size_t used = 0;
  text[0] = '\0';
  const auto append = [&](const char* piece) {
    const std::size_t length = std::strlen(piece);
    const std::size_t room = size - 1 - used;
    const std::size_t taken = length < room ? length : room;
    std::memcpy(text + used, piece, taken);
    used += taken;
    text[used] = '\0';
  };
  append("chunk kernel tiers of this build (" CHUNKTOOLS_TIER_TABLE " table):");
  for (CpuTier tier = 0; tier < kTierCount; ++tier) {
    append(" ");
    append(kTierChecks[tier].name);
  }
  const CpuTier supported = supported_cpu_tier();
  const CpuTier chosen = chosen_cpu_tier();
  append("\nchunksig on this CPU runs: ");
  append(kTierChecks[chosen].name);
  if (tier_setting() != nullptr) {
    append(" (CHUNKTOOLS_CPU_TIER is set; the CPU supports ");
    append(kTierChecks[supported].name);
    append(")");
  }
  append("\n");
  return text;
}
