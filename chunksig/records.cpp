#include "records.h"

#include "little_endian.h"

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
