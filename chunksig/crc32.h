// CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320), portable and
// table-driven. Values are finished CRCs, as zlib's crc32() keeps them: 0 is the
// CRC of nothing, and update() continues a CRC over more bytes.
#ifndef CHUNKSIG_CRC32_H
#define CHUNKSIG_CRC32_H

#include <cstddef>
#include <cstdint>

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

// The CRC-32 of the bytes that `crc` covers followed by the `count` bytes at
// `bytes`.
std::uint32_t crc32_update(std::uint32_t crc, const unsigned char* bytes, std::size_t count);

// Register form: works on the complemented CRC (no pre- or post-inversion),
// which is what carry-less folding reduces to at its end.
std::uint32_t crc32_update_register(std::uint32_t reg, const unsigned char* bytes,
                                    std::size_t count);

// Both signatures of `pair` continued over `count` bytes, in one pass.
void crc32_pair_update_portable(CrcPair& pair, const unsigned char* bytes, std::size_t count);

#endif  // CHUNKSIG_CRC32_H
