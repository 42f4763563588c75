#include "records/signature_line.h"

#include "records/records.h"

std::uint16_t append_signature_line(std::uint64_t offset, const unsigned char* record, TextBuffer& out) {
  const SignatureRecord fields = SignatureRecord::decode(record);
  out.unsigned_decimal(offset);
  out.literal(" ");
  out.unsigned_decimal(fields.len);
  out.literal(" ");
  out.hex(fields.crc_plus1, 8);
  out.literal(" ");
  out.hex(fields.crc_plain, 8);
  out.literal("\n");
  return fields.len;
}
