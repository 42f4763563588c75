// sigdump run as a program: whole console output and exit code, over signature
// files that chunksig wrote and over hand-made records.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

// A case's files are made when it runs: every case of the program is
// registered at each start, and CTest starts the program once per case.
struct SigdumpCase {
  const char* name;
  std::string (*signatures)();
  std::string (*console)();
};

void PrintTo(const SigdumpCase& c, std::ostream* os) { *os << c.name; }

// The first worked example: 600 bytes 00, 01, ... in one segment.
std::string example_signatures() { return reference_chunksig(0, cycling_bytes(1024), segment(600, 0)).signatures; }
const char kExampleLines[] =
    "0 180 D2654ACC A1756E44\n"
    "180 155 61A83AA1 26C7C427\n"
    "335 101 C78630C1 B604F7B0\n"
    "436 155 61A83AA1 26C7C427\n"
    "591 9 FABCF28B 3EA59F71\n";

// Offsets past 32 bits: 65,539 records of the longest chunk.
std::string many_long_records() {
  std::string out;
  for (int i = 0; i < 65539; ++i) out += signature_record(0x01020304, 0xA0B0C0D0, 65535);
  return out;
}
std::string many_long_lines() {
  std::string out;
  for (std::uint64_t i = 0; i < 65539; ++i) out += std::to_string(i * 65535) + " 65535 01020304 A0B0C0D0\n";
  return out;
}

class SigdumpOutput : public testing::TestWithParam<SigdumpCase> {};

TEST_P(SigdumpOutput, PrintsEveryWholeRecord) {
  ScratchDir dir;
  write_file(dir.path("signatures"), GetParam().signatures());
  const RunResult result = run_tool(tool_path("sigdump"), {dir.path("signatures"), "ignored"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, GetParam().console());
  EXPECT_EQ(result.errors, "");
}

INSTANTIATE_TEST_SUITE_P(
    Records, SigdumpOutput,
    testing::Values(
        SigdumpCase{"Empty", [] { return std::string(); }, [] { return std::string(); }},
        SigdumpCase{"OnlyPartialRecord", [] { return std::string("123456789"); }, [] { return std::string(); }},
        SigdumpCase{"WorkedExample", example_signatures, [] { return std::string(kExampleLines); }},
        SigdumpCase{"WorkedExampleAndPartial", [] { return example_signatures() + "\xFF\xFF\xFF"; },
                    [] { return std::string(kExampleLines); }},
        SigdumpCase{"FieldOrderAndWidths",
                    [] {
                      return signature_record(0, 0, 0) + signature_record(0xFFFFFFFF, 0x0000000A, 1) +
                             signature_record(0x89ABCDEF, 0x01234567, 0xFFFF);
                    },
                    [] {
                      return std::string(
                          "0 0 00000000 00000000\n0 1 FFFFFFFF 0000000A\n1 65535 89ABCDEF 01234567\n");
                    }},
        SigdumpCase{"OffsetsBeyond4GiB", many_long_records, many_long_lines}),
    [](const testing::TestParamInfo<SigdumpCase>& param_info) { return param_info.param.name; });

}  // namespace
