// The pmull tier's CRC kernel: carry-less folding over 128-bit registers with
// PMULL and PMULL2. Built with -march=armv8-a+crypto, what cpu_runs_pmull()
// checks; its scan is the neon tier's.
#include <arm_neon.h>

#include "chunking/kernels/fold_schedule.h"
#include "chunking/kernels/tier_kernels.h"

namespace {

struct PmullLanes {
  using Vector = uint8x16_t;
  static Vector load(const unsigned char* bytes) { return vld1q_u8(bytes); }
  static Vector plus_one(Vector v) { return vaddq_u8(v, vdupq_n_u8(1)); }
  static Vector xor_of(Vector a, Vector b) { return veorq_u8(a, b); }
  static Vector and_of(Vector a, Vector b) { return vandq_u8(a, b); }
  static Vector or_of(Vector a, Vector b) { return vorrq_u8(a, b); }
  // TBL gives zero for any index past the table, 0x80 included.
  static Vector shuffle(Vector v, Vector indices) { return vqtbl1q_u8(v, indices); }
  static Vector first_word(std::uint32_t word) { return vreinterpretq_u8_u32(vsetq_lane_u32(word, vdupq_n_u32(0), 0)); }
  static Vector fold(Vector pending, Vector constants) {
    const poly64x2_t p = vreinterpretq_p64_u8(pending);
    const poly64x2_t c = vreinterpretq_p64_u8(constants);
    const poly128_t low = vmull_p64(vgetq_lane_p64(p, 0), vgetq_lane_p64(c, 0));
    const poly128_t high = vmull_high_p64(p, c);
    return veorq_u8(vreinterpretq_u8_p128(low), vreinterpretq_u8_p128(high));
  }
  template <int kDistance>
  static Vector constants() {
    return vreinterpretq_u8_u64(
        vcombine_u64(vcreate_u64(FoldBy<kDistance>::kHighHalf), vcreate_u64(FoldBy<kDistance>::kLowHalf)));
  }
  static std::uint32_t crc_register(Vector pending) {
    const uint64x2_t high_quadword = vcombine_u64(vcreate_u64(0), vcreate_u64(~std::uint64_t{0}));
    // Twice: the low quadword times x^64, onto the high one. 64 bits are left,
    // in the high quadword.
    uint64x2_t rest = vreinterpretq_u64_u8(pending);
    for (int round = 0; round < 2; ++round) {
      const poly128_t moved = vmull_p64(vgetq_lane_u64(rest, 0), Reduction::kFoldByQuadword);
      rest = veorq_u64(vreinterpretq_u64_p128(moved), vandq_u64(rest, high_quadword));
    }
    // The quotient: the 64 bits plus the top of their product with the
    // quotient constant (one bit low, hence the shift).
    const std::uint64_t bits = vgetq_lane_u64(rest, 1);
    const poly128_t product = vmull_p64(bits, Reduction::kQuotient);
    const std::uint64_t quotient = bits ^ (vgetq_lane_u64(vreinterpretq_u64_p128(product), 0) << 1);
    const poly128_t remainder = vmull_p64(quotient, Reduction::kPolynomial);
    return vgetq_lane_u32(vreinterpretq_u32_p128(remainder), 2);
  }
};

}  // namespace

void crc_pair_pmull(CrcPair& pair, const unsigned char* bytes, std::size_t count) {
  if (count < 4 * sizeof(PmullLanes::Vector)) {
    crc32_pair_update_portable(pair, bytes, count);
    return;
  }
  PmullLanes::Vector plain, plus1;
  fold_registers<PmullLanes, 4>(pair, bytes, count, plain, plus1);
  finish<PmullLanes>(pair, plain, plus1, bytes, count);
}
