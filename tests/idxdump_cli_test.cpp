// idxdump run as a program: whole console output and exit code.
#include <gtest/gtest.h>

#include <string>

#include "tests/tool_runner.h"

namespace {

const std::string kIdxdump = tool_path("idxdump");

std::string entry_of_bytes(unsigned first) {
  std::string out;
  for (unsigned i = 0; i < 40; ++i) out += static_cast<char>(first + i);
  return out;
}

const std::string kZeroLine =
    "level: 0; size: 00 00000000; attr: 0000; t_cr: 0000000000000000; t_cr: 0000000000000000; "
    "crc0: 00000000; crc1: 00000000; sofs: 00000000; slen: 00000000; \n";
// Bytes 01..28 in order: every field's offset and byte order shows.
const std::string kCountingLine =
    "level: 6; size: 05 04030201; attr: 0807; t_cr: 100F0E0D0C0B0A09; t_cr: 1817161514131211; "
    "crc0: 1C1B1A19; crc1: 201F1E1D; sofs: 24232221; slen: 28272625; \n";
const std::string kHighLine =
    "level: 255; size: FF FFFFFFFF; attr: FFFF; t_cr: FFFFFFFFFFFFFFFF; t_cr: FFFFFFFFFFFFFFFF; "
    "crc0: FFFFFFFF; crc1: FFFFFFFF; sofs: FFFFFFFF; slen: FFFFFFFF; \n";

struct DumpCase {
  const char* name;
  std::string index;
  std::string console;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const DumpCase& c, std::ostream* os) { *os << c.name; }

class IdxdumpOutput : public testing::TestWithParam<DumpCase> {};

TEST_P(IdxdumpOutput, PrintsEveryWholeEntry) {
  ScratchDir dir;
  write_file(dir.path("index"), GetParam().index);
  const RunResult result = run_tool(kIdxdump, {dir.path("index"), "ignored"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, GetParam().console);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, IdxdumpOutput,
    testing::Values(DumpCase{"Empty", "", ""},
                    DumpCase{"OnlyPartialEntry", std::string(39, '\7'), ""},
                    DumpCase{"ZeroEntryAndPartial", std::string(41, '\0'), kZeroLine},
                    DumpCase{"FieldOffsets", entry_of_bytes(1), kCountingLine},
                    DumpCase{"AllBitsSet", std::string(40, '\xFF'), kHighLine},
                    DumpCase{"SeveralEntries",
                             std::string(40, '\0') + entry_of_bytes(1) + std::string(40, '\xFF') +
                                 std::string(39, '\xFF'),
                             kZeroLine + kCountingLine + kHighLine}),
    [](const testing::TestParamInfo<DumpCase>& param_info) { return param_info.param.name; });

// Missing arguments and unopenable paths are in the fault matrix.
TEST(IdxdumpFailures, ReadErrorsAndUnwritableConsole) {
  ScratchDir dir;
  write_file(dir.path("index"), entry_of_bytes(1));
  const RunResult read_error = run_tool(kIdxdump, {"/proc/self/mem"});
  EXPECT_EQ(read_error.exit_code, 1);
  EXPECT_EQ(read_error.console, "");

  RunOptions full, closed;
  full.console = Console::kDevFull;
  closed.console = Console::kClosed;
  EXPECT_EQ(run_tool(kIdxdump, {dir.path("index")}, full).exit_code, 1);
  if (closed_descriptors_testable()) {
    EXPECT_EQ(run_tool(kIdxdump, {dir.path("index")}, closed).exit_code, 1);
  }
}

}  // namespace
