#include "common/text_buffer.h"

#include "common/console.h"

namespace {

constexpr std::array<char, 512> make_hex_pairs() {
  std::array<char, 512> pairs{};
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::size_t b = 0; b < 256; ++b) {
    pairs[2 * b] = kDigits[b >> 4];
    pairs[2 * b + 1] = kDigits[b & 0xF];
  }
  return pairs;
}

}  // namespace

const std::array<char, 512> TextBuffer::kHexPairs = make_hex_pairs();

void TextBuffer::decimal(std::int64_t value) {
  // Work on the magnitude as unsigned, so that the most negative value has one.
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) {
    text_[size_++] = '-';
    magnitude = 0 - magnitude;
  }
  unsigned_decimal(magnitude);
}

void TextBuffer::unsigned_decimal(std::uint64_t value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) text_[size_++] = digits[--count];
}

bool TextBuffer::flush_to_stdout() {
  const bool whole = console_write(text_, size_);
  size_ = 0;
  return whole;
}
