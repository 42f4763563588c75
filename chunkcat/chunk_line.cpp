#include "chunkcat/chunk_line.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The field that starts at text[*at]: its bounds, the blanks before it
// skipped. False when the line holds no further field.
bool next_field(const char* text, std::size_t size, std::size_t* at, std::size_t* begin, std::size_t* end) {
  while (*at < size && is_blank(text[*at])) ++*at;
  if (*at == size) return false;
  *begin = *at;
  while (*at < size && !is_blank(text[*at])) ++*at;
  *end = *at;
  return true;
}

// A decimal number of at most `largest`; kTooLarge past it.
enum class Number { kGood, kNotANumber, kTooLarge };
Number decimal(const char* text, std::size_t begin, std::size_t end, std::uint64_t largest, std::uint64_t* value) {
  std::uint64_t number = 0;
  bool too_large = false;
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return Number::kNotANumber;
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (number > (largest - digit) / 10) {
      too_large = true;
    } else {
      number = number * 10 + digit;
    }
  }
  *value = number;
  return too_large ? Number::kTooLarge : Number::kGood;
}

bool crc(const char* text, std::size_t begin, std::size_t end, std::uint32_t* value) {
  if (end - begin != 8) return false;
  std::uint32_t number = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      return false;
    }
    number = number << 4 | digit;
  }
  *value = number;
  return true;
}

}  // namespace

const char* parse_chunk_line(const char* text, std::size_t size, ChunkLine* line) {
  if (size > 0 && text[size - 1] == '\r') --size;
  std::size_t at = 0, begin[4], end[4], extra_begin, extra_end;
  for (int field = 0; field < 4; ++field) {
    if (!next_field(text, size, &at, &begin[field], &end[field])) return "expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN";
  }
  if (next_field(text, size, &at, &extra_begin, &extra_end)) return "expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN";
  std::uint64_t offset = 0, length = 0;
  const Number offset_is = decimal(text, begin[0], end[0], ~std::uint64_t{0}, &offset);
  const Number length_is = decimal(text, begin[1], end[1], ~std::uint64_t{0}, &length);
  if (offset_is == Number::kNotANumber || length_is == Number::kNotANumber) {
    return "expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN";
  }
  if (offset_is == Number::kTooLarge) return "offset out of range (0 to 18446744073709551615)";
  if (length_is == Number::kTooLarge || length == 0 || length > 65535) return "length out of range (1 to 65535)";
  if (offset > ~std::uint64_t{0} - length) return "the chunk ends beyond offset 18446744073709551615";
  if (!crc(text, begin[2], end[2], &line->crc_plus1)) return "CRC_PLUS1 is not 8 hexadecimal digits";
  if (!crc(text, begin[3], end[3], &line->crc_plain)) return "CRC_PLAIN is not 8 hexadecimal digits";
  line->offset = offset;
  line->length = static_cast<std::uint32_t>(length);
  return nullptr;
}
