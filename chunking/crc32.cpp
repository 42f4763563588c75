#include "chunking/crc32.h"

#include "common/little_endian.h"

namespace {

constexpr Crc32Tables make_tables() {
  Crc32Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t reg = i;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ kCrc32Polynomial : reg >> 1;
    t.tables[0][i] = reg;
  }
  for (int k = 1; k < 16; ++k) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = t.tables[k - 1][i];
      t.tables[k][i] = (previous >> 8) ^ t.tables[0][previous & 0xFF];
    }
  }
  return t;
}

// The tables again, each entry moved down one place: entry b is what byte
// b + 1 (modulo 256) adds, so that the second signature, over every byte plus
// one, looks its bytes up unchanged.
constexpr Crc32Tables make_plus_one_tables(const Crc32Tables& plain) {
  Crc32Tables t{};
  for (int k = 0; k < 16; ++k) {
    for (std::uint32_t b = 0; b < 256; ++b) t.tables[k][b] = plain.tables[k][(b + 1) & 0xFF];
  }
  return t;
}

constexpr Crc32Tables kPlusOneTables = make_plus_one_tables(make_tables());

}  // namespace

const Crc32Tables kCrc32Tables = make_tables();

namespace {

// Adds 1 to each byte of `word` modulo 256, with no carry between bytes.
std::uint64_t plus_one_each_byte(std::uint64_t word) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  return ((word & kLow7) + kOnes) ^ (word & ~kLow7);
}

std::uint32_t step_byte(std::uint32_t reg, unsigned char byte) {
  return (reg >> 8) ^ kCrc32Tables.tables[0][(reg ^ byte) & 0xFF];
}

// Slicing by 8: advances the register over the 8 bytes of `word`.
std::uint32_t step_word(std::uint32_t reg, std::uint64_t word) {
  const auto& t = kCrc32Tables.tables;
  const std::uint64_t x = word ^ reg;
  return t[7][x & 0xFF] ^ t[6][(x >> 8) & 0xFF] ^ t[5][(x >> 16) & 0xFF] ^
         t[4][(x >> 24) & 0xFF] ^ t[3][(x >> 32) & 0xFF] ^ t[2][(x >> 40) & 0xFF] ^
         t[1][(x >> 48) & 0xFF] ^ t[0][x >> 56];
}

}  // namespace

void crc32_pair_update_portable(CrcPair& pair, const unsigned char* bytes, std::size_t count) {
  std::uint32_t plain = ~pair.plain;
  std::uint32_t plus1 = ~pair.plus1;
  // Slicing by 16 for both. Only the first 4 bytes of a step meet a
  // register; the other 12 index both signatures' tables as they are, so they
  // are loaded once and need no shifting out of a word.
  const auto& p = kCrc32Tables.tables;
  const auto& q = kPlusOneTables.tables;
  for (; count >= 16; bytes += 16, count -= 16) {
    const auto head = static_cast<std::uint32_t>(load_le(bytes, 4));
    const std::uint32_t x = head ^ plain;
    const std::uint32_t y = static_cast<std::uint32_t>(plus_one_each_byte(head)) ^ plus1;
    plain = p[15][x & 0xFF] ^ p[14][(x >> 8) & 0xFF] ^ p[13][(x >> 16) & 0xFF] ^ p[12][x >> 24];
    plus1 = p[15][y & 0xFF] ^ p[14][(y >> 8) & 0xFF] ^ p[13][(y >> 16) & 0xFF] ^ p[12][y >> 24];
    for (int j = 4; j < 16; ++j) {
      plain ^= p[15 - j][bytes[j]];
      plus1 ^= q[15 - j][bytes[j]];
    }
  }
  for (; count >= 8; bytes += 8, count -= 8) {
    const std::uint64_t word = load_le(bytes, 8);
    plain = step_word(plain, word);
    plus1 = step_word(plus1, plus_one_each_byte(word));
  }
  for (; count > 0; ++bytes, --count) {
    plain = step_byte(plain, *bytes);
    plus1 = step_byte(plus1, static_cast<unsigned char>(*bytes + 1));
  }
  pair.plain = ~plain;
  pair.plus1 = ~plus1;
}

namespace {

// a times b modulo the polynomial, both bit-reflected (bit 31 holds x^0).
constexpr std::uint32_t multiply_mod_p(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t bit = 0x80000000; bit != 0; bit >>= 1) {
    if ((a & bit) != 0) product ^= b;
    b = (b & 1) != 0 ? (b >> 1) ^ kCrc32Polynomial : b >> 1;  // b times x
  }
  return product;
}

// x^(2^k) modulo the polynomial, for every k a 64-bit count of bits needs.
struct PowersOfX {
  std::uint32_t squares[64];
  constexpr PowersOfX() : squares() {
    squares[0] = 0x40000000;  // x^1
    for (int k = 1; k < 64; ++k) squares[k] = multiply_mod_p(squares[k - 1], squares[k - 1]);
  }
};
constexpr PowersOfX kPowersOfX;

}  // namespace

std::uint32_t crc32_combine(std::uint32_t first, std::uint32_t second, std::uint64_t second_length) {
  // x to the power of B's bits (lengths below 2^61), a square of x for
  // each set bit of that power.
  std::uint32_t shift = 0x80000000;  // x^0
  const std::uint64_t bits = second_length << 3;
  for (int k = 0; k < 64; ++k) {
    if (((bits >> k) & 1) != 0) shift = multiply_mod_p(shift, kPowersOfX.squares[k]);
  }
  return multiply_mod_p(first, shift) ^ second;
}

void crc32_pair_combine(CrcPair& pair, const CrcPair& next, std::uint64_t next_length) {
  pair.plain = crc32_combine(pair.plain, next.plain, next_length);
  pair.plus1 = crc32_combine(pair.plus1, next.plus1, next_length);
}
