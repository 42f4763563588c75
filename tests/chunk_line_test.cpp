// The one-pass reader of sigdump's own line form must agree with the general
// line reader wherever it takes a line, and take every line sigdump prints.
#include "chunkcat/chunk_line.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <random>
#include <string>

namespace {

// What the one-pass reader makes of `line` (ending in "\n"), followed by
// enough further text for it to look at; checked against the general reader.
void expect_readers_agree(const std::string& line, bool plain_form) {
  const std::string text = line + std::string(kLongestPlainChunkLine, '7');
  ChunkLine plain{}, general{};
  const std::size_t taken = parse_plain_chunk_line(text.data(), text.size(), &plain);
  const std::size_t newline = line.find('\n');
  const char* problem = parse_chunk_line(line.data(), newline, &general);
  if (plain_form) {
    EXPECT_EQ(taken, newline + 1) << line;
  }
  if (taken == 0) return;
  EXPECT_EQ(taken, newline + 1) << line;
  ASSERT_EQ(problem, nullptr) << line;
  EXPECT_EQ(plain.offset, general.offset) << line;
  EXPECT_EQ(plain.length, general.length) << line;
  EXPECT_EQ(plain.crc_plus1, general.crc_plus1) << line;
  EXPECT_EQ(plain.crc_plain, general.crc_plain) << line;
}

TEST(ChunkLine, OnePassReaderAgreesWithTheGeneralOne) {
  const struct {
    const char* line;
    bool plain_form;
  } cases[] = {
      {"0 1 00000000 FFFFFFFF\n", true},
      {"18446744073709486080 65535 0123ABCD abcdef09\n", false},  // 20 digits: the general reader's
      {"1844674407370948608 65535 0123ABCD abcdef09\n", true},
      {"9999999999999999999 65535 00000000 00000000\n", true},
      {"18446744073709551615 1 00000000 00000000\n", false},  // ends past 2^64 - 1
      {"99999999999999999999 1 00000000 00000000\n", false},  // past 2^64 - 1
      {"000000000000000000001 1 00000000 00000000\n", false},  // 21 digits
      {"12 0 00000000 00000000\n", false},
      {"12 65536 00000000 00000000\n", false},
      {"12 000100 00000000 00000000\n", false},  // six digits of length
      {"12 00100 00000000 00000000\n", true},
      {"12  100 00000000 00000000\n", false},
      {"12\t100 00000000 00000000\n", false},
      {"12 100 00000000 00000000\r\n", false},
      {"12 100 00000000 00000000 \n", false},
      {"12 100 0000000G 00000000\n", false},
      {"12 100 00000000 0000000\n", false},
      {"12 100 00000000 000000000\n", false},
      {"+12 100 00000000 00000000\n", false},
      {"12 100 00000000\n", false},
      {"\n", false},
  };
  for (const auto& c : cases) expect_readers_agree(c.line, c.plain_form);
  // Lines as sigdump prints them, and each with one byte changed to a byte
  // that matters to a reader.
  std::mt19937_64 random(5);
  // The bytes next to each class a reader tells apart, and those that match
  // one of them but for the top bit or the case bit.
  const char changes[] = {' ',    '\t',   '\n',   '\r',   '0',    '9',    'a',    'f',    'A',    'F',    'g',
                          '/',    ':',    '@',    'G',    '`',    '\x80', '\xff', '\x10', '\x19', '\xb0', '\xb9',
                          '\xc1', '\xe6', '\x7f', '\xa0', '\x01', '\x00'};
  for (int i = 0; i < 40000; ++i) {
    char line[64];
    const std::uint64_t offset = random() >> (random() % 64);
    const unsigned length = 1 + static_cast<unsigned>(random() % 65535);
    std::snprintf(line, sizeof line, "%" PRIu64 " %u %08X %08X\n", offset, length,
                  static_cast<unsigned>(random()), static_cast<unsigned>(random()));
    std::string printed = line;
    if (i % 4 == 0) {
      for (char& c : printed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // Twenty digits may overflow: the general reader's.
    expect_readers_agree(printed, offset <= 9999999999999999999u && offset <= ~std::uint64_t{0} - length);
    printed[random() % (printed.size() - 1)] = changes[random() % sizeof changes];
    expect_readers_agree(printed, false);
  }
}

}  // namespace
