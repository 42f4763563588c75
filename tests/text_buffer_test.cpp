#include "common/text_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// The formatter against printf over the values the tools print.
TEST(TextBuffer, SameTextAsPrintf) {
  const std::int64_t numbers[] = {0, 1, -1, 9, 10, 255, 1234567890, INT64_MAX, INT64_MIN};
  char storage[64], expected[64];
  for (std::int64_t number : numbers) {
    TextBuffer text(storage, sizeof storage);
    text.decimal(number);
    std::snprintf(expected, sizeof expected, "%lld", static_cast<long long>(number));
    EXPECT_EQ(std::string(text.data(), text.size()), expected);
    for (int digits : {2, 4, 8, 16}) {
      const std::uint64_t value = static_cast<std::uint64_t>(number) &
                                  (digits == 16 ? ~0ULL : (1ULL << (4 * digits)) - 1);
      TextBuffer hex(storage, sizeof storage);
      hex.literal("x=");
      hex.hex(value, digits);
      std::snprintf(expected, sizeof expected, "x=%0*llX", digits, static_cast<unsigned long long>(value));
      EXPECT_EQ(std::string(hex.data(), hex.size()), expected);
    }
  }
  const std::uint64_t unsigned_numbers[] = {0, 1, 10, 4294967295u, 4294967296u, UINT64_MAX};
  for (std::uint64_t number : unsigned_numbers) {
    TextBuffer text(storage, sizeof storage);
    text.unsigned_decimal(number);
    std::snprintf(expected, sizeof expected, "%llu", static_cast<unsigned long long>(number));
    EXPECT_EQ(std::string(text.data(), text.size()), expected);
  }
}

}  // namespace
