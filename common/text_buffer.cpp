#include "text_buffer.h"

#include <cstdio>

void TextBuffer::hex(std::uint64_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) {
    text_[size_ + static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  size_ += static_cast<std::size_t>(digits);
}

void TextBuffer::decimal(std::int64_t value) {
  // Work on the magnitude as unsigned, so that the most negative value has one.
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) {
    text_[size_++] = '-';
    magnitude = 0 - magnitude;
  }
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) text_[size_++] = digits[--count];
}

bool TextBuffer::flush_to_stdout() {
  const std::size_t written = size_ == 0 ? 0 : std::fwrite(text_, 1, size_, stdout);
  const bool whole = written == size_;
  size_ = 0;
  return whole;
}
