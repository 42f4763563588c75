// A small formatter for the tools' console lines: fixed-width upper-case hex and
// decimal into a fixed buffer, with none of printf's per-call parsing. The text
// is the same as printf's "%0*X", "%llu" and "%lld" would give.
#ifndef COMMON_TEXT_BUFFER_H
#define COMMON_TEXT_BUFFER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

class TextBuffer {
 public:
  // `storage` outlives the buffer; the tools pass static arrays.
  TextBuffer(char* storage, std::size_t capacity) : text_(storage), capacity_(capacity) {}

  // The appenders assume room; callers check room() against their longest line.
  template <std::size_t N>
  void literal(const char (&text)[N]) {
    std::memcpy(text_ + size_, text, N - 1);
    size_ += N - 1;
  }
  // The low 4 * `digits` bits of `value`, zero-padded; two digits per lookup,
  // from the last.
  void hex(std::uint64_t value, int digits) {
    char* end = text_ + size_ + digits;
    size_ += static_cast<std::size_t>(digits);
    for (; digits >= 2; digits -= 2, value >>= 8) {
      end -= 2;
      std::memcpy(end, kHexPairs.data() + 2 * (value & 0xFF), 2);
    }
    if (digits == 1) end[-1] = kHexPairs[2 * (value & 0xF) + 1];
  }
  void decimal(std::int64_t value);
  void unsigned_decimal(std::uint64_t value);

  std::size_t room() const { return capacity_ - size_; }
  const char* data() const { return text_; }
  std::size_t size() const { return size_; }
  // Hands the text to standard output (console_write) and empties the
  // buffer; false when the stream reports an error.
  bool flush_to_stdout();

 private:
  // "000102...FEFF": the two digits of every byte value.
  static const std::array<char, 512> kHexPairs;

  char* text_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

#endif  // COMMON_TEXT_BUFFER_H
