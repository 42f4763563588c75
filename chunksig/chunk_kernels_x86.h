// The x86-64 kernels (chunk_kernels_x86.cpp, the one file built with AVX2 and
// carry-less multiply enabled). Call them only on CPUs that have those.
#ifndef CHUNKSIG_CHUNK_KERNELS_X86_H
#define CHUNKSIG_CHUNK_KERNELS_X86_H

#include <cstddef>
#include <cstdint>

#include "crc32.h"

void scan_gfni(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap);
void scan_avx2(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap);
void crc_pair_pclmul(CrcPair& pair, const unsigned char* bytes, std::size_t count);
void crc_pair_vpclmul(CrcPair& pair, const unsigned char* bytes, std::size_t count);

#endif  // CHUNKSIG_CHUNK_KERNELS_X86_H
