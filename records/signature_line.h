// The line a signature record prints as, in sigdump and in sigdiff:
//   OFFSET LEN CRC_PLUS1 CRC_PLAIN
// OFFSET and LEN in decimal, the two CRCs as 8 uppercase hexadecimal digits.
#ifndef RECORDS_SIGNATURE_LINE_H
#define RECORDS_SIGNATURE_LINE_H

#include <cstddef>
#include <cstdint>

#include "common/text_buffer.h"

// 20 digits of offset, 5 of length, two CRCs, three spaces and the newline.
constexpr std::size_t kSignatureLineLongest = 20 + 1 + 5 + 1 + 8 + 1 + 8 + 1;

// Appends the line of the signature record at `record` (its 10 bytes), whose
// chunk begins at `offset`; returns the chunk's length.
std::uint16_t append_signature_line(std::uint64_t offset, const unsigned char* record, TextBuffer& out);

#endif  // RECORDS_SIGNATURE_LINE_H
