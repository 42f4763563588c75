// The avx512 tier: the gfni tier's affine transforms on 512-bit
// registers, 64 positions per step with the marks straight out of a mask
// compare, and the CRC pair folded in 512-bit registers. Built with what
// cpu_runs_avx512() checks: AVX-512 F, BW and VL, GFNI and VPCLMULQDQ (and
// the AVX2 they include).
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's AVX-512 lane extracts start from _mm512_undefined_*() and then
// warn, from inside the header, that it may be used uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "chunking/kernels/chunk_kernels.h"
#include "chunking/kernels/clmul_fold.h"
#include "chunking/kernels/tier_kernels.h"

void scan_avx512(const unsigned char* bytes, std::size_t count, std::uint64_t* bitmap) {
  const WindowFilterTables& t = kWindowFilterTables;
  __m512i matrices[kWindowBytes];
  for (std::size_t k = 0; k < kWindowBytes; ++k) matrices[k] = _mm512_set1_epi64(static_cast<long long>(t.matrix[k]));
  const __m512i constant = _mm512_set1_epi8(static_cast<char>(t.constant));
  for (std::size_t i = 0; i < count; i += 64) {
    // Window byte k of position i + j is window_start[k + j].
    const unsigned char* window_start = bytes + i - (kWindowBytes - 1);
    __m512i top7 = _mm512_gf2p8affine_epi64_epi8(_mm512_loadu_si512(window_start), matrices[0], 0);
#pragma GCC unroll kWindowBytes - 1
    for (std::size_t k = 1; k < kWindowBytes; ++k) {
      top7 =
          _mm512_xor_si512(top7, _mm512_gf2p8affine_epi64_epi8(_mm512_loadu_si512(window_start + k), matrices[k], 0));
    }
    bitmap[i / 64] = _mm512_cmpeq_epi8_mask(top7, constant);
  }
}

namespace {

// Four 128-bit lanes, each folded by the same distance: one register holds
// 64 bytes of a signature.
struct Lanes512 {
  using Vector = __m512i;
  static Vector load(const unsigned char* bytes) { return _mm512_loadu_si512(bytes); }
  static Vector plus_one(Vector v) { return _mm512_add_epi8(v, _mm512_set1_epi8(1)); }
  static Vector xor_of(Vector a, Vector b) { return _mm512_xor_si512(a, b); }
  static Vector first_word(std::uint32_t word) {
    return _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(word)));
  }
  static Vector fold(Vector pending, Vector constants) {
    return _mm512_xor_si512(_mm512_clmulepi64_epi128(pending, constants, 0x00),
                            _mm512_clmulepi64_epi128(pending, constants, 0x11));
  }
  template <int kDistance>
  static Vector constants() { return _mm512_broadcast_i32x4(fold_constants<kDistance>()); }
  // Lane j folds by distance kDj.
  template <int kD0, int kD1, int kD2, int kD3>
  static Vector lane_constants() {
    const __m256i low = _mm256_set_m128i(fold_constants<kD1>(), fold_constants<kD0>());
    const __m256i high = _mm256_set_m128i(fold_constants<kD3>(), fold_constants<kD2>());
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
  }
};

// The 128 pending bits of a message whose last 512 are `pending`: each
// earlier lane folded onto the last by its distance from it.
__m128i onto_last_lane(__m512i pending) {
  // Lane 3 is not folded; its constants are never used.
  const __m512i folded = Lanes512::fold(pending, Lanes512::lane_constants<384, 256, 128, 128>());
  return _mm_xor_si128(_mm_xor_si128(_mm512_castsi512_si128(folded), _mm512_extracti32x4_epi32(folded, 1)),
                       _mm_xor_si128(_mm512_extracti32x4_epi32(folded, 2), _mm512_extracti32x4_epi32(pending, 3)));
}

// `word` (a CRC so far) placed at byte `offset` (1 to 63) of a 64-byte block:
// its bytes in that block, and in the next one those that run past it.
void word_at(std::uint32_t word, std::size_t offset, __m512i* in_block, __m512i* past_block) {
  const __m128i value = _mm_cvtsi32_si128(static_cast<int>(word));
  const std::size_t lane = offset / 16, within = offset % 16;
  // From kShift + 16 - k the shuffle moves byte j - k to j; from kShift +
  // 32 - k, byte j + 16 - k to j: the bytes moved past the lane's end.
  const __m128i here = _mm_shuffle_epi8(value, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShift + 16 - within)));
  const __m128i spill = _mm_shuffle_epi8(value, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShift + 32 - within)));
  // The spill goes to the next lane, or from the last lane to the next
  // block's first: masks worked out without a branch, which the varying
  // chunk lengths would leave the processor guessing.
  const unsigned here_lanes = 0xFu << (4 * lane);
  const __mmask16 spill_lanes = static_cast<__mmask16>(here_lanes << 4);
  const __mmask16 past_lanes = static_cast<__mmask16>(here_lanes >> 12);
  *in_block = _mm512_or_si512(_mm512_maskz_broadcast_i32x4(static_cast<__mmask16>(here_lanes), here),
                              _mm512_maskz_broadcast_i32x4(spill_lanes, spill));
  *past_block = _mm512_maskz_broadcast_i32x4(past_lanes, spill);
}

}  // namespace

// One 512-bit register per signature, folded 64 bytes at a time: most chunks
// are a few hundred bytes, too short for the four registers of the 256-bit
// kernel to pay off. A length that is not a multiple of 64 is taken as if
// zeros came before the message, which leave a CRC register of zero as it
// is: the first block is the message's first (length mod 64) bytes behind
// zeros, with the CRC so far XORed into its first 4 bytes where they lie,
// and every block after it is whole. So no short end is folded byte group by
// byte group after the blocks.
void crc_pair_avx512(CrcPair& pair, const unsigned char* bytes, std::size_t count) {
  if (count < sizeof(__m512i)) {
    crc_pair_pclmul(pair, bytes, count);
    return;
  }
  const std::size_t head = count % 64;
  if (head == 0) {
    __m512i plain, plus1;
    fold_registers<Lanes512, 1>(pair, bytes, count, plain, plus1);
    finish<Lanes128>(pair, onto_last_lane(plain), onto_last_lane(plus1), bytes, count);
    return;
  }
  const std::size_t offset = 64 - head;
  // Only the message's bytes are loaded: the masked-off ones before it are
  // neither read nor able to fault.
  const __mmask64 message = ~std::uint64_t{0} << offset;
  const __m512i first = _mm512_maskz_loadu_epi8(message, bytes - offset);
  __m512i plain_word, plain_spill, plus1_word, plus1_spill;
  word_at(~pair.plain, offset, &plain_word, &plain_spill);
  word_at(~pair.plus1, offset, &plus1_word, &plus1_spill);
  __m512i plain = _mm512_xor_si512(first, plain_word);
  __m512i plus1 = _mm512_xor_si512(_mm512_maskz_add_epi8(message, first, _mm512_set1_epi8(1)), plus1_word);
  const __m512i by_block = Lanes512::constants<512>();
  const unsigned char* next = bytes + head;
  const unsigned char* const end = bytes + count;
  // The second block takes what of the CRC so far ran past the first.
  __m512i data = _mm512_loadu_si512(next);
  plain = _mm512_xor_si512(Lanes512::fold(plain, by_block), _mm512_xor_si512(data, plain_spill));
  plus1 = _mm512_xor_si512(Lanes512::fold(plus1, by_block), _mm512_xor_si512(Lanes512::plus_one(data), plus1_spill));
  for (next += 64; next < end; next += 64) {
    data = _mm512_loadu_si512(next);
    plain = _mm512_xor_si512(Lanes512::fold(plain, by_block), data);
    plus1 = _mm512_xor_si512(Lanes512::fold(plus1, by_block), Lanes512::plus_one(data));
  }
  finish<Lanes128>(pair, onto_last_lane(plain), onto_last_lane(plus1), end, 0);
}
