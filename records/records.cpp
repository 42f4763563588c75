#include "records/records.h"

#include "common/little_endian.h"

void SegmentRecord::encode(unsigned char (&bytes)[kBytes]) const {
  store_le(bytes, len, 4);
  store_le(bytes + 4, ofs, 6);
}

SegmentRecord SegmentRecord::decode(const unsigned char* bytes) {
  return SegmentRecord{static_cast<std::uint32_t>(load_le(bytes, 4)), load_le(bytes + 4, 6)};
}

void SignatureRecord::encode(unsigned char (&bytes)[kBytes]) const {
  store_le(bytes, crc_plus1, 4);
  store_le(bytes + 4, crc_plain, 4);
  store_le(bytes + 8, len, 2);
}

SignatureRecord SignatureRecord::decode(const unsigned char* bytes) {
  return SignatureRecord{static_cast<std::uint32_t>(load_le(bytes, 4)),
                         static_cast<std::uint32_t>(load_le(bytes + 4, 4)),
                         static_cast<std::uint16_t>(load_le(bytes + 8, 2))};
}

IndexEntry IndexEntry::decode(const unsigned char* bytes) {
  const auto field32 = [bytes](int offset) { return static_cast<std::uint32_t>(load_le(bytes + offset, 4)); };
  return IndexEntry{field32(0),
                    bytes[4],
                    bytes[5],
                    static_cast<std::uint16_t>(load_le(bytes + 6, 2)),
                    load_le(bytes + 8, 8),
                    load_le(bytes + 16, 8),
                    field32(24),
                    field32(28),
                    field32(32),
                    field32(36)};
}

void IndexEntry::encode(unsigned char (&bytes)[kBytes]) const {
  store_le(bytes, size_lo, 4);
  bytes[4] = size_hi;
  bytes[5] = level;
  store_le(bytes + 6, attr, 2);
  store_le(bytes + 8, t_cr, 8);
  store_le(bytes + 16, t_2, 8);
  store_le(bytes + 24, crc0, 4);
  store_le(bytes + 28, crc1, 4);
  store_le(bytes + 32, sofs, 4);
  store_le(bytes + 36, slen, 4);
}
