// The segment list and signature file formats: plain sequences of 10-byte
// little-endian records with no header and no padding.
#ifndef CHUNKSIG_RECORDS_H
#define CHUNKSIG_RECORDS_H

#include <cstdint>

// One segment of the stream: it ends at ofs + len.
struct SegmentRecord {
  static constexpr int kBytes = 10;
  std::uint32_t len;  // bytes 0-3
  std::uint64_t ofs;  // 48 bits: bytes 4-7 the low 32, bytes 8-9 the high 16

  static SegmentRecord decode(const unsigned char* bytes);  // kBytes bytes
  std::uint64_t end() const { return ofs + len; }
};

// The signature of one chunk.
struct SignatureRecord {
  static constexpr int kBytes = 10;
  std::uint32_t crc_plus1;  // bytes 0-3
  std::uint32_t crc_plain;  // bytes 4-7
  std::uint16_t len;        // bytes 8-9

  void encode(unsigned char (&bytes)[kBytes]) const;
  static SignatureRecord decode(const unsigned char* bytes);  // kBytes bytes
};

#endif  // CHUNKSIG_RECORDS_H
