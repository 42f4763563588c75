// Per-byte chunk hasher: a rolling CRC-32 over the last kWindow bytes of the
// current chunk, for the cut rule, and two CRC-32 registers over the whole
// chunk, which become its signature when the chunk is sealed.
//
// Every register holds the finished standard CRC-32 (IEEE 802.3) of what it has
// seen: the table works on the complemented register, so no final XOR is ever
// applied, and a register that starts at 0 is the CRC of nothing.
#ifndef CHUNKING_CHUNK_HASHER_H
#define CHUNKING_CHUNK_HASHER_H

#include <cstdint>

#include "chunking/cut_rule.h"

class ChunkHasher {
 public:
  static constexpr std::uint32_t kWindow = kWindowBytes;
  static constexpr std::uint32_t kRingSize = 64;
  static_assert(kWindow <= kRingSize, "the window must fit in the ring");

  // What the last seal captured, in signature-record order.
  struct Sealed {
    std::uint32_t crc_plus1;
    std::uint32_t crc_plain;
    std::uint32_t count;
  };

  // Builds both tables for the window of kWindow bytes and starts an empty
  // chunk. Called once before the first push; leaves `sealed` as it was.
  void init();

  // Adds the low 8 bits of `byte` to the chunk, so -1 counts as 0xFF.
  void push(int byte);

  // Records the chunk's signature in `sealed` and starts an empty chunk, in
  // constant time whatever the chunk's length.
  void seal();

  // CRC-32 of the last kWindow bytes of the chunk; positions before the chunk's
  // first byte count as zero bytes.
  std::uint32_t roll;
  // CRC-32 of the chunk's bytes.
  std::uint32_t crc_plain;
  // CRC-32 of the chunk's bytes, each taken as (byte + 1) mod 256.
  std::uint32_t crc_plus1;
  // Bytes pushed since the chunk began.
  std::uint32_t count;
  // table[j]: the reflected CRC-32 table entry of index j ^ 0xFF, top byte
  // inverted, so that one step advances the complemented register.
  std::uint32_t table[256];
  // out_table[b]: the term that removes byte b from `roll` as it leaves the
  // window.
  std::uint32_t out_table[256];
  Sealed sealed;
  // The chunk's bytes, byte k at index k mod kRingSize; zero at chunk start.
  unsigned char ring[kRingSize];
  // `roll` at the start of every chunk: the CRC-32 of kWindow zero bytes.
  std::uint32_t roll_init;

 private:
  std::uint32_t step(std::uint32_t reg, std::uint32_t byte) const {
    return (reg >> 8) ^ table[(reg ^ byte) & 0xFF];
  }
  void build_table();
  void start_chunk();
};

#endif  // CHUNKING_CHUNK_HASHER_H
