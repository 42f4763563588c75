// The record formats the tools share: the segment list and the signature file
// (10-byte records) and the index file (40-byte entries), each a plain
// sequence of little-endian records with no header and no padding.
#ifndef RECORDS_RECORDS_H
#define RECORDS_RECORDS_H

#include <cstdint>

// One segment of the stream: it ends at ofs + len.
struct SegmentRecord {
  static constexpr int kBytes = 10;
  static constexpr std::uint32_t kMaxLen = 0xFFFFFFFF;
  static constexpr std::uint64_t kMaxOfs = (std::uint64_t{1} << 48) - 1;
  std::uint32_t len;  // bytes 0-3
  std::uint64_t ofs;  // 48 bits: bytes 4-7 the low 32, bytes 8-9 the high 16

  void encode(unsigned char (&bytes)[kBytes]) const;  // ofs <= kMaxOfs
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
  // The len of the record at `bytes`, alone: the one field a count needs.
  static std::uint16_t len_of(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[8] | bytes[9] << 8);
  }
};

// One entry of an index file, field by field as stored; nothing is
// interpreted.
struct IndexEntry {
  static constexpr int kBytes = 40;
  std::uint32_t size_lo;  // bytes 0-3: the low 32 bits of a 40-bit size
  std::uint8_t size_hi;   // byte 4: its high 8 bits
  std::uint8_t level;     // byte 5
  std::uint16_t attr;     // bytes 6-7
  std::uint64_t t_cr;     // bytes 8-15: a time
  std::uint64_t t_2;      // bytes 16-23: a second time
  std::uint32_t crc0;     // bytes 24-27
  std::uint32_t crc1;     // bytes 28-31
  std::uint32_t sofs;     // bytes 32-35: an offset
  std::uint32_t slen;     // bytes 36-39: a length

  void encode(unsigned char (&bytes)[kBytes]) const;
  static IndexEntry decode(const unsigned char* bytes);  // kBytes bytes
};

#endif  // RECORDS_RECORDS_H
