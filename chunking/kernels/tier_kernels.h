// Every kernel of every tier, declared for the tier table and for the kernels
// that hand short inputs on to a lower tier's. Each is defined in the file of
// its tier (kernels/TIER.cpp) and may run only where that tier's CPU check
// passed.
#ifndef CHUNKING_KERNELS_TIER_KERNELS_H
#define CHUNKING_KERNELS_TIER_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "chunking/crc32.h"

// Scans: see ChunkKernels::scan.
void scan_portable(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap);
void scan_avx2(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap);
void scan_gfni(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap);
void scan_avx512(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap);
void scan_neon(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap);

// Cut searches: see ChunkKernels::find_cut.
std::size_t find_cut_avx2(const unsigned char* bytes, std::size_t from, std::size_t last);

// CRC pairs: see ChunkKernels::crc_pair (crc32_pair_update_portable in crc32.h).
void crc_pair_pclmul(CrcPair& pair, const unsigned char* bytes, std::size_t count);
void crc_pair_vpclmul(CrcPair& pair, const unsigned char* bytes, std::size_t count);
void crc_pair_avx512(CrcPair& pair, const unsigned char* bytes, std::size_t count);
void crc_pair_pmull(CrcPair& pair, const unsigned char* bytes, std::size_t count);

#endif  // CHUNKING_KERNELS_TIER_KERNELS_H
