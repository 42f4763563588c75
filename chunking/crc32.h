// CRC-32 (IEEE 802.3), portable and table-driven. Values are finished CRCs, as
// zlib's crc32() keeps them: 0 is the CRC of nothing, and an update continues a
// CRC over more bytes.
#ifndef CHUNKING_CRC32_H
#define CHUNKING_CRC32_H

#include <cstddef>
#include <cstdint>

// The reflected generator polynomial, from which every table and folding
// constant of the tools is derived.
constexpr std::uint32_t kCrc32Polynomial = 0xEDB88320;

// A chunk's two signatures, carried along while its bytes arrive.
struct CrcPair {
  std::uint32_t plain;  // CRC-32 of the bytes
  std::uint32_t plus1;  // CRC-32 of the bytes, each taken as (byte + 1) mod 256
};

// tables[0] is the classic byte-at-a-time table; tables[k] advances a byte
// that sits k bytes before the end of a slice of up to 16 bytes.
struct Crc32Tables {
  std::uint32_t tables[16][256];
};
extern const Crc32Tables kCrc32Tables;

// Both signatures of `pair` continued over `count` bytes, in one pass.
void crc32_pair_update_portable(CrcPair& pair, const unsigned char* bytes, std::size_t count);

// The CRC-32 of bytes A then bytes B, from the CRC of A, the CRC of B alone
// and B's length: the CRC of A moved on by B's length (multiplied by x to
// the power of its bits, modulo the polynomial), plus the CRC of B. For
// signatures computed in pieces, apart, and joined after.
std::uint32_t crc32_combine(std::uint32_t first, std::uint32_t second, std::uint64_t second_length);
// Both signatures of `pair` continued by those of `next`, `next_length` bytes.
void crc32_pair_combine(CrcPair& pair, const CrcPair& next, std::uint64_t next_length);

#endif  // CHUNKING_CRC32_H
