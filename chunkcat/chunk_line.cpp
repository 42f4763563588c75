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

// A decimal number of at most 2^64 - 1; kTooLarge past it. The overflow
// test compares with constants, as a division per digit would cost more
// than the rest of the line.
enum class Number { kGood, kNotANumber, kTooLarge };
Number decimal(const char* text, std::size_t begin, std::size_t end, std::uint64_t* value) {
  constexpr std::uint64_t kTenthOfLargest = ~std::uint64_t{0} / 10;  // 1844674407370955161
  constexpr unsigned kLastDigitOfLargest = static_cast<unsigned>(~std::uint64_t{0} % 10);  // 5
  std::uint64_t number = 0;
  bool too_large = false;
  for (std::size_t i = begin; i < end; ++i) {
    const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(text[i]) - '0');
    if (digit > 9) return Number::kNotANumber;
    if (number > kTenthOfLargest || (number == kTenthOfLargest && digit > kLastDigitOfLargest)) too_large = true;
    number = number * 10 + digit;
  }
  *value = number;
  return too_large ? Number::kTooLarge : Number::kGood;
}

// The value of each hexadecimal digit, 16 for every other byte.
struct HexDigits {
  unsigned char value[256];
  constexpr HexDigits() : value() {
    for (int c = 0; c < 256; ++c) value[c] = 16;
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<unsigned char>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<unsigned char>(c - 'a' + 10);
  }
};
constexpr HexDigits kHexDigits;

// Eight hexadecimal digits, looked up without a branch per digit.
bool crc(const char* text, std::size_t begin, std::size_t end, std::uint32_t* value) {
  if (end - begin != 8) return false;
  std::uint32_t number = 0;
  unsigned invalid = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const unsigned digit = kHexDigits.value[static_cast<unsigned char>(text[i])];
    invalid |= digit & 16;
    number = number << 4 | (digit & 15);
  }
  *value = number;
  return invalid == 0;
}

// Up to `most` decimal digits at text[*at] and the space after them: their
// value, or false when they are not that.
bool digits_then_space(const char* text, std::size_t* at, std::size_t most, std::uint64_t* value) {
  std::uint64_t number = 0;
  std::size_t i = *at;
  const std::size_t first = i;
  for (;;) {
    const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(text[i]) - '0');
    if (digit > 9) break;
    number = number * 10 + digit;
    if (++i - first > most) return false;
  }
  if (i == first || text[i] != ' ') return false;
  *value = number;
  *at = i + 1;
  return true;
}

}  // namespace

std::size_t parse_plain_chunk_line(const char* text, std::size_t available, ChunkLine* line) {
  // 19 digits cannot overflow; 20 may, and go the careful way.
  if (available < kLongestPlainChunkLine) return 0;
  std::size_t at = 0;
  std::uint64_t offset, length;
  if (!digits_then_space(text, &at, 19, &offset) || !digits_then_space(text, &at, 5, &length)) return 0;
  if (length == 0 || length > 65535 || offset > ~std::uint64_t{0} - length) return 0;
  if (text[at + 8] != ' ' || text[at + 17] != '\n') return 0;
  if (!crc(text, at, at + 8, &line->crc_plus1) || !crc(text, at + 9, at + 17, &line->crc_plain)) return 0;
  line->offset = offset;
  line->length = static_cast<std::uint32_t>(length);
  return at + 18;
}

const char* parse_chunk_line(const char* text, std::size_t size, ChunkLine* line) {
  if (size > 0 && text[size - 1] == '\r') --size;
  std::size_t at = 0, begin[4], end[4], extra_begin, extra_end;
  for (int field = 0; field < 4; ++field) {
    if (!next_field(text, size, &at, &begin[field], &end[field])) return "expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN";
  }
  if (next_field(text, size, &at, &extra_begin, &extra_end)) return "expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN";
  std::uint64_t offset = 0, length = 0;
  const Number offset_is = decimal(text, begin[0], end[0], &offset);
  const Number length_is = decimal(text, begin[1], end[1], &length);
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
