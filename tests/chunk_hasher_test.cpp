#include "chunking/chunk_hasher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "tests/reference_model.h"

namespace {

ChunkHasher fresh_hasher() {
  ChunkHasher hasher{};
  hasher.init();
  return hasher;
}

void push_all(ChunkHasher& hasher, const std::string& bytes) {
  for (char c : bytes) hasher.push(static_cast<unsigned char>(c));
}

// A fresh hasher holds the empty chunk: its window is all zero bytes and its
// CRCs are those of nothing. (The tables behind it are checked by every value
// the tests below compare with a bitwise CRC.)
TEST(ChunkHasher, InitialStateIsTheEmptyChunk) {
  const ChunkHasher h = fresh_hasher();
  EXPECT_EQ(h.roll, reference_crc32(std::string(ChunkHasher::kWindow, '\0').data(), ChunkHasher::kWindow));
  EXPECT_EQ(h.crc_plain, reference_crc32("", 0));
  EXPECT_EQ(h.crc_plus1, reference_crc32("", 0));
  EXPECT_EQ(h.count, 0u);
}

TEST(ChunkHasher, KnownVectors) {
  struct Vector {
    std::string bytes;
    std::uint32_t roll, crc_plain, crc_plus1;
  };
  const Vector vectors[] = {
      {"123456789", 0x5628EBE7, 0xCBF43926, 0x447AD225},
      {"abcdefghijklmnopqrstuvwxyz", 0xED4D7216, 0x4C2750BD, reference_crc32("bcdefghijklmnopqrstuvwxyz{", 26)},
      {std::string(40, '\0'), 0x7BD5C66F, reference_crc32(std::string(40, '\0').data(), 40),
       reference_crc32(std::string(40, '\1').data(), 40)},
  };
  for (const Vector& v : vectors) {
    ChunkHasher h = fresh_hasher();
    push_all(h, v.bytes);
    EXPECT_EQ(h.roll, v.roll) << v.bytes;
    EXPECT_EQ(h.crc_plain, v.crc_plain) << v.bytes;
    EXPECT_EQ(h.crc_plus1, v.crc_plus1) << v.bytes;
    EXPECT_EQ(h.count, v.bytes.size());
  }
}

TEST(ChunkHasher, MinusOneIsPushedAsFF) {
  ChunkHasher by_minus_one = fresh_hasher(), by_ff = fresh_hasher();
  by_minus_one.push(-1);
  by_ff.push(0xFF);
  EXPECT_EQ(std::memcmp(&by_minus_one, &by_ff, sizeof by_ff), 0);
  EXPECT_EQ(by_ff.crc_plus1, reference_crc32("", 1));  // 0xFF feeds 0x00
}

// Independent check over long random chunks with random seals: every register
// equals a plain bitwise CRC-32 of what it covers, across ring wraps, and a seal
// leaves exactly the state of init.
TEST(ChunkHasher, MatchesBitwiseCrcOnRandomChunks) {
  std::mt19937 rng(12345);
  ChunkHasher h = fresh_hasher();
  const ChunkHasher initial = h;
  std::string chunk;
  for (int i = 0; i < 20000; ++i) {
    const unsigned char b = static_cast<unsigned char>(rng() % 4 == 0 ? 0 : rng());
    h.push(b);
    chunk += static_cast<char>(b);
    std::string window = std::string(12, '\0') + chunk;
    window = window.substr(window.size() - 12);
    std::string plus1 = chunk;
    for (char& c : plus1) c = static_cast<char>(c + 1);
    ASSERT_EQ(h.roll, reference_crc32(window.data(), 12)) << i;
    ASSERT_EQ(h.crc_plain, reference_crc32(chunk.data(), chunk.size())) << i;
    ASSERT_EQ(h.crc_plus1, reference_crc32(plus1.data(), plus1.size())) << i;
    if (rng() % 300 == 0) {
      h.seal();
      EXPECT_EQ(h.sealed.count, chunk.size());
      EXPECT_EQ(h.sealed.crc_plain, reference_crc32(chunk.data(), chunk.size()));
      EXPECT_EQ(h.sealed.crc_plus1, reference_crc32(plus1.data(), plus1.size()));
      ChunkHasher expected = initial;
      expected.sealed = h.sealed;
      EXPECT_EQ(std::memcmp(&h, &expected, sizeof h), 0);
      chunk.clear();
    }
  }
}

}  // namespace
