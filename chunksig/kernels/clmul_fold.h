// Carry-less folding of the two chunk signatures, shared by the kernels of
// the tiers that have PCLMULQDQ. Everything here has internal linkage: each
// kernel file gets its own copy, built with that file's instruction-set flags,
// so the linker can never hand one tier's code to another. Include it only
// from kernel files built with at least -mpclmul -mavx2.
#ifndef CHUNKSIG_KERNELS_CLMUL_FOLD_H
#define CHUNKSIG_KERNELS_CLMUL_FOLD_H

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "crc32.h"

namespace {

// x^n mod P for the CRC-32 polynomial P, bit-reflected (bit 0 holds x^31).
constexpr std::uint32_t x_power_mod_p(int n) {
  std::uint32_t reflected = 0x80000000;  // x^0
  for (int i = 0; i < n; ++i) reflected = (reflected >> 1) ^ ((reflected & 1) ? 0xEDB88320 : 0);
  return reflected;
}

// Folding moves a 128-bit block of pending message `distance` bits forward:
// its high-degree half (the low quadword, bit-reflected) is multiplied by
// x^(distance + 32), its low-degree half by x^(distance - 32). Reflected
// multiplication leaves the product one bit low, hence the shift.
constexpr std::uint64_t fold_constant(int exponent) {
  return static_cast<std::uint64_t>(x_power_mod_p(exponent)) << 1;
}

// The constants for each folding distance, worked out at compile time.
template <int kDistance>
struct FoldBy {
  static constexpr std::uint64_t kHighHalf = fold_constant(kDistance + 32);
  static constexpr std::uint64_t kLowHalf = fold_constant(kDistance - 32);
};

template <int kDistance>
__m128i fold_constants() {
  return _mm_set_epi64x(static_cast<long long>(FoldBy<kDistance>::kLowHalf),
                        static_cast<long long>(FoldBy<kDistance>::kHighHalf));
}

__m128i fold(__m128i pending, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(pending, constants, 0x00),
                       _mm_clmulepi64_si128(pending, constants, 0x11));
}

__m128i load128(const unsigned char* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// Byte shuffles for the last < 16 bytes: from kShift + s, pshufb moves byte
// j + 16 - s to j (zero where out of range); kHighBytes + t keeps bytes from
// 16 - t on.
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
__m128i take_tail(__m128i pending, __m128i last16, std::size_t tail) {
  const __m128i moved = _mm_shuffle_epi8(pending, load128(kShift + tail));
  const __m128i kept = _mm_shuffle_epi8(pending, load128(kShift + 16 + tail));
  const __m128i ending = _mm_and_si128(last16, load128(kHighBytes + tail));
  return _mm_xor_si128(fold(moved, fold_constants<128>()), _mm_or_si128(kept, ending));
}

// Folds the rest of the message (at least 16 bytes came before `bytes`) into
// `plain` and `plus1`, then lets the tables reduce the 128 pending bits: a
// register run from zero over a 16-byte block yields that block times x^32
// mod P, which is exactly the CRC register after the message.
void finish(CrcPair& pair, __m128i plain, __m128i plus1, const unsigned char* bytes,
            std::size_t count) {
  const __m128i by128 = fold_constants<128>();
  const __m128i ones = _mm_set1_epi8(1);
  for (; count >= 16; bytes += 16, count -= 16) {
    const __m128i data = load128(bytes);
    plain = _mm_xor_si128(fold(plain, by128), data);
    plus1 = _mm_xor_si128(fold(plus1, by128), _mm_add_epi8(data, ones));
  }
  if (count > 0) {
    const __m128i last16 = load128(bytes + count - 16);
    plain = take_tail(plain, last16, count);
    plus1 = take_tail(plus1, _mm_add_epi8(last16, ones), count);
  }
  alignas(16) unsigned char pending[2][16];
  _mm_store_si128(reinterpret_cast<__m128i*>(pending[0]), plain);
  _mm_store_si128(reinterpret_cast<__m128i*>(pending[1]), plus1);
  pair.plain = ~crc32_update_register(0, pending[0], 16);
  pair.plus1 = ~crc32_update_register(0, pending[1], 16);
}

// Folding over 128-bit registers, in the form fold_by_four takes; the
// 256-bit form (two 128-bit lanes folded by the same distance) lives with the
// kernel that may use VPCLMULQDQ.
struct Lanes128 {
  using Vector = __m128i;
  static Vector load(const unsigned char* bytes) { return load128(bytes); }
  static Vector plus_one(Vector v) { return _mm_add_epi8(v, _mm_set1_epi8(1)); }
  static Vector xor_of(Vector a, Vector b) { return _mm_xor_si128(a, b); }
  static Vector first_word(std::uint32_t word) { return _mm_cvtsi32_si128(static_cast<int>(word)); }
  static Vector fold(Vector pending, Vector constants) { return ::fold(pending, constants); }
  template <int kDistance>
  static Vector constants() { return fold_constants<kDistance>(); }
};

// Folds both signatures over the bytes four registers at a time (at least
// four registers' worth must be there), then the four registers into one.
// Leaves `bytes` and `count` at what is left: less than four registers.
template <typename Lanes>
void fold_by_four(const CrcPair& pair, const unsigned char*& bytes, std::size_t& count,
                  typename Lanes::Vector& plain_out, typename Lanes::Vector& plus1_out) {
  using Vector = typename Lanes::Vector;
  constexpr std::size_t kWidth = sizeof(Vector);
  Vector plain[4], plus1[4];
  for (std::size_t j = 0; j < 4; ++j) {
    plain[j] = Lanes::load(bytes + kWidth * j);
    plus1[j] = Lanes::plus_one(plain[j]);
  }
  // The CRC so far enters as the register XORed into the first 32 bits.
  plain[0] = Lanes::xor_of(plain[0], Lanes::first_word(~pair.plain));
  plus1[0] = Lanes::xor_of(plus1[0], Lanes::first_word(~pair.plus1));
  bytes += 4 * kWidth;
  count -= 4 * kWidth;
  const Vector by_four = Lanes::template constants<4 * 8 * kWidth>();
  for (; count >= 4 * kWidth; bytes += 4 * kWidth, count -= 4 * kWidth) {
    for (std::size_t j = 0; j < 4; ++j) {
      const Vector data = Lanes::load(bytes + kWidth * j);
      plain[j] = Lanes::xor_of(Lanes::fold(plain[j], by_four), data);
      plus1[j] = Lanes::xor_of(Lanes::fold(plus1[j], by_four), Lanes::plus_one(data));
    }
  }
  const Vector by_one = Lanes::template constants<8 * kWidth>();
  for (std::size_t j = 1; j < 4; ++j) {
    plain[0] = Lanes::xor_of(Lanes::fold(plain[0], by_one), plain[j]);
    plus1[0] = Lanes::xor_of(Lanes::fold(plus1[0], by_one), plus1[j]);
  }
  plain_out = plain[0];
  plus1_out = plus1[0];
}

}  // namespace

#endif  // CHUNKSIG_KERNELS_CLMUL_FOLD_H
