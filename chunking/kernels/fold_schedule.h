// Carry-less folding of the two chunk signatures, written once over a "Lanes"
// type that supplies the vector operations of one instruction set: the x86
// tiers with PCLMULQDQ (clmul_fold.h) and the aarch64 tier with PMULL
// (pmull.cpp). No instruction-set header here, and internal linkage only:
// every kernel file compiles its own copy with its own flags, so the linker
// can never hand one tier's code to another.
//
// A Lanes type has a Vector of 128 bits or a multiple, and:
//   load(bytes), plus_one(v) (each byte + 1), xor_of(a, b),
//   first_word(w) (w in the first 32 bits, zero elsewhere),
//   fold(pending, constants) (each 128-bit lane's low quadword times the
//   constants' low one, XOR its high quadword times their high one),
//   constants<kDistance>() (FoldBy<kDistance> in every 128-bit lane).
// The 128-bit Lanes that finish a CRC also have:
//   shuffle(v, indices) (byte j of the result is byte indices[j] of v, zero
//   where the index is 0x80), and_of(a, b), or_of(a, b), and
//   crc_register(pending) (pending times x^32 mod P, with Reduction's
//   constants).
#ifndef CHUNKING_KERNELS_FOLD_SCHEDULE_H
#define CHUNKING_KERNELS_FOLD_SCHEDULE_H

#include <cstddef>
#include <cstdint>

#include "chunking/crc32.h"

namespace {

// x^n mod P for the CRC-32 polynomial P, bit-reflected (bit 0 holds x^31).
constexpr std::uint32_t x_power_mod_p(int n) {
  std::uint32_t reflected = 0x80000000;  // x^0
  for (int i = 0; i < n; ++i) reflected = (reflected >> 1) ^ ((reflected & 1) ? kCrc32Polynomial : 0);
  return reflected;
}

// Folding moves a 128-bit block of pending message `distance` bits forward:
// its high-degree half (the low quadword, bit-reflected) is multiplied by
// x^(distance + 32), its low-degree half by x^(distance - 32). Reflected
// multiplication leaves the product one bit low, hence the shift.
constexpr std::uint64_t fold_constant(int exponent) { return static_cast<std::uint64_t>(x_power_mod_p(exponent)) << 1; }

// The constants for each folding distance, worked out at compile time.
template <int kDistance>
struct FoldBy {
  static constexpr std::uint64_t kHighHalf = fold_constant(kDistance + 32);
  static constexpr std::uint64_t kLowHalf = fold_constant(kDistance - 32);
};

// The constants that take 128 pending bits to the CRC register without
// tables: two folds by x^64 leave 64 bits, and a Barrett step divides those
// (times x^32) by P. Bit-reflected over 64 bits (bit i holds x^(63 - i)).
struct Reduction {
  // x^63 mod P: a quadword A of the highest degrees (worth A x^64) times it,
  // one bit low as reflected products are, is A (x^64 mod P), a congruent
  // value of lower degree.
  static constexpr std::uint64_t kFoldByQuadword = static_cast<std::uint64_t>(x_power_mod_p(63)) << 32;
  // floor(x^96 / P) less its x^64 term.
  static constexpr std::uint64_t kQuotient = [] {
    std::uint64_t remainder = 0, quotient = 0;
    // Long division of x^96 by P = x^32 + 0x04C11DB7, one dividend bit at a
    // time from x^96 down; a quotient term x^d appears when the x^(d + 32)
    // term of the remainder is set.
    for (int degree = 96; degree >= 0; --degree) {
      remainder = remainder << 1 | (degree == 96 ? 1 : 0);
      if ((remainder >> 32) & 1) {
        remainder ^= 0x104C11DB7;
        if (degree < 64) quotient |= std::uint64_t{1} << (63 - degree);
      }
    }
    return quotient;
  }();
  // P less its x^32 term, times x^31, so that the remainder's 32 bits land in
  // the third 32-bit word of the product.
  static constexpr std::uint64_t kPolynomial = std::uint64_t{kCrc32Polynomial} << 1;
};

// Byte shuffles for the last < 16 bytes: from kShift + s, the shuffle moves
// byte j + 16 - s to j (zero where out of range); kHighBytes + t keeps bytes
// from 16 - t on.
alignas(16) const unsigned char kShift[48] = {
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
alignas(16) const unsigned char kHighBytes[32] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Takes the last `tail` (1 to 15) bytes of the message, whose final 16 bytes
// are `last16`, into `pending`: the message is pending || tail, which is the
// first `tail` bytes of pending moved 128 bits on, plus the 16 bytes that end
// the message.
template <typename Lanes>
typename Lanes::Vector take_tail(typename Lanes::Vector pending, typename Lanes::Vector last16,
                                 std::size_t tail) {
  const auto moved = Lanes::shuffle(pending, Lanes::load(kShift + tail));
  const auto kept = Lanes::shuffle(pending, Lanes::load(kShift + 16 + tail));
  const auto ending = Lanes::and_of(last16, Lanes::load(kHighBytes + tail));
  return Lanes::xor_of(Lanes::fold(moved, Lanes::template constants<128>()), Lanes::or_of(kept, ending));
}

// Folds the rest of the message (at least 16 bytes came before `bytes`) into
// `plain` and `plus1`, then reduces the 128 pending bits: the CRC register
// after the message is that block times x^32 mod P.
template <typename Lanes>
void finish(CrcPair& pair, typename Lanes::Vector plain, typename Lanes::Vector plus1,
            const unsigned char* bytes, std::size_t count) {
  const auto by128 = Lanes::template constants<128>();
  for (; count >= 16; bytes += 16, count -= 16) {
    const auto data = Lanes::load(bytes);
    plain = Lanes::xor_of(Lanes::fold(plain, by128), data);
    plus1 = Lanes::xor_of(Lanes::fold(plus1, by128), Lanes::plus_one(data));
  }
  if (count > 0) {
    const auto last16 = Lanes::load(bytes + count - 16);
    plain = take_tail<Lanes>(plain, last16, count);
    plus1 = take_tail<Lanes>(plus1, Lanes::plus_one(last16), count);
  }
  pair.plain = ~Lanes::crc_register(plain);
  pair.plus1 = ~Lanes::crc_register(plus1);
}

// Folds both signatures over the bytes kRegisters registers at a time (at
// least that many registers' worth must be there), then the registers into
// one. Leaves `bytes` and `count` at what is left: less than kRegisters
// registers.
template <typename Lanes, std::size_t kRegisters>
void fold_registers(const CrcPair& pair, const unsigned char*& bytes, std::size_t& count,
                    typename Lanes::Vector& plain_out, typename Lanes::Vector& plus1_out) {
  using Vector = typename Lanes::Vector;
  constexpr std::size_t kWidth = sizeof(Vector);
  constexpr std::size_t kStep = kRegisters * kWidth;
  Vector plain[kRegisters], plus1[kRegisters];
  for (std::size_t j = 0; j < kRegisters; ++j) {
    plain[j] = Lanes::load(bytes + kWidth * j);
    plus1[j] = Lanes::plus_one(plain[j]);
  }
  // The CRC so far enters as the register XORed into the first 32 bits.
  plain[0] = Lanes::xor_of(plain[0], Lanes::first_word(~pair.plain));
  plus1[0] = Lanes::xor_of(plus1[0], Lanes::first_word(~pair.plus1));
  bytes += kStep;
  count -= kStep;
  const Vector by_step = Lanes::template constants<8 * kStep>();
  for (; count >= kStep; bytes += kStep, count -= kStep) {
    for (std::size_t j = 0; j < kRegisters; ++j) {
      const Vector data = Lanes::load(bytes + kWidth * j);
      plain[j] = Lanes::xor_of(Lanes::fold(plain[j], by_step), data);
      plus1[j] = Lanes::xor_of(Lanes::fold(plus1[j], by_step), Lanes::plus_one(data));
    }
  }
  const Vector by_one = Lanes::template constants<8 * kWidth>();
  for (std::size_t j = 1; j < kRegisters; ++j) {
    plain[0] = Lanes::xor_of(Lanes::fold(plain[0], by_one), plain[j]);
    plus1[0] = Lanes::xor_of(Lanes::fold(plus1[0], by_one), plus1[j]);
  }
  plain_out = plain[0];
  plus1_out = plus1[0];
}

}  // namespace

#endif  // CHUNKING_KERNELS_FOLD_SCHEDULE_H
