#include "chunking/chunk_hasher.h"

#include <cstring>

#include "chunking/crc32.h"

void ChunkHasher::build_table() {
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t a = i;
    for (int bit = 0; bit < 8; ++bit) a = (a & 1) ? (a >> 1) ^ kCrc32Polynomial : a >> 1;
    table[i ^ 0xFF] = a ^ 0xFF000000;
  }
}

void ChunkHasher::init() {
  build_table();
  std::uint32_t r = 0;
  for (std::uint32_t i = 0; i < kWindow; ++i) r = step(r, 0);
  roll_init = r;
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t q = table[b];
    for (std::uint32_t i = 0; i < kWindow; ++i) q = step(q, 0);
    out_table[b] = q ^ roll_init;
  }
  start_chunk();
}

void ChunkHasher::push(int byte) {
  const std::uint32_t b = static_cast<std::uint32_t>(byte) & 0xFF;
  const std::uint32_t leaving = ring[(count - kWindow) % kRingSize];
  ring[count % kRingSize] = static_cast<unsigned char>(b);
  roll = table[(roll ^ b) & 0xFF] ^ out_table[leaving] ^ (roll >> 8);
  crc_plain = step(crc_plain, b);
  crc_plus1 = step(crc_plus1, (b + 1) & 0xFF);
  ++count;
}

void ChunkHasher::seal() {
  sealed.crc_plus1 = crc_plus1;
  sealed.crc_plain = crc_plain;
  sealed.count = count;
  start_chunk();
}

void ChunkHasher::start_chunk() {
  std::memset(ring, 0, sizeof ring);
  roll = roll_init;
  crc_plain = 0;
  crc_plus1 = 0;
  count = 0;
}
