// Which kernel tier this CPU runs, from the build's one table of tiers
// (tiers_x86.def, tiers_aarch64.def or tiers_generic.def, chosen by the build,
// less the rows the compiler cannot build: the generated chunk_tier_rows.inc).
// The tier names, the CPU checks and CHUNKTOOLS_CPU_TIER all come from its
// rows. Apart from the kernels themselves (tier_table.h), so that every tool's
// --version can name the tiers without linking the kernels.
#ifndef CHUNKING_KERNELS_TIER_CHOICE_H
#define CHUNKING_KERNELS_TIER_CHOICE_H

#include <cstddef>

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
// is lower, so that every tier can be tested on one machine. The name matches
// without regard to case; an empty setting counts as none, and an unknown
// name means the portable tier.
CpuTier chosen_cpu_tier();

const char* cpu_tier_name(CpuTier tier);

// Two lines for a bug report: the build's tier table with its tiers, and the
// tier chunksig runs on this CPU, with the setting that lowered it if any.
// NUL-terminated, cut to `size`; returns `text`.
const char* describe_cpu_tiers(char* text, std::size_t size);

#endif  // CHUNKING_KERNELS_TIER_CHOICE_H
