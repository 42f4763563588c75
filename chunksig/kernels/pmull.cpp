// The pmull tier's CRC kernel: carry-less folding over 128-bit registers with
// PMULL and PMULL2. Built with -march=armv8-a+crypto, what cpu_runs_pmull()
// checks; its scan is the neon tier's.
#include <arm_neon.h>

#include "fold_schedule.h"
#include "kernels.h"

namespace {

struct PmullLanes {
  using Vector = uint8x16_t;
  static Vector load(const unsigned char* bytes) { return vld1q_u8(bytes); }
  static void store(unsigned char* bytes, Vector v) { vst1q_u8(bytes, v); }
  static Vector plus_one(Vector v) { return vaddq_u8(v, vdupq_n_u8(1)); }
  static Vector xor_of(Vector a, Vector b) { return veorq_u8(a, b); }
  static Vector and_of(Vector a, Vector b) { return vandq_u8(a, b); }
  static Vector or_of(Vector a, Vector b) { return vorrq_u8(a, b); }
  // TBL gives zero for any index past the table, 0x80 included.
  static Vector shuffle(Vector v, Vector indices) { return vqtbl1q_u8(v, indices); }
  static Vector first_word(std::uint32_t word) {
    return vreinterpretq_u8_u32(vsetq_lane_u32(word, vdupq_n_u32(0), 0));
  }
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
};

}  // namespace

void crc_pair_pmull(CrcPair& pair, const unsigned char* bytes, std::size_t count) {
  if (count < 4 * sizeof(PmullLanes::Vector)) {
    crc32_pair_update_portable(pair, bytes, count);
    return;
  }
  PmullLanes::Vector plain, plus1;
  fold_by_four<PmullLanes>(pair, bytes, count, plain, plus1);
  finish<PmullLanes>(pair, plain, plus1, bytes, count);
}
