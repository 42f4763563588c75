// sigdiff run as a program over pairs of signature files, against a model
// written from its description: the whole listing, the whole summary line and
// the exit code of each pair.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

struct SigdiffCase {
  const char* name;
  std::string old_file;
  std::string new_file;
};

void PrintTo(const SigdiffCase& c, std::ostream* os) { *os << c.name; }

std::string signatures_of(const std::string& data) {
  return reference_chunksig(0, data, segment(static_cast<std::uint32_t>(data.size()), 0)).signatures;
}

const std::string kData = random_bytes(40000, 7);
const std::string kSignatures = signatures_of(kData);
const std::string kA = signature_record(0x11111111, 0x22222222, 300);
const std::string kB = signature_record(0x33333333, 0x44444444, 65535);
// Ten 0xFF bytes: an identity like any other, though no table slot can hold it.
const std::string kAllOnes = std::string(10, '\xFF');

// `count` distinct records, from `seed` on: more than the table's spare room.
std::string distinct_records(int count, std::uint32_t seed) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    out += signature_record(seed + static_cast<std::uint32_t>(i), ~(seed + static_cast<std::uint32_t>(i)),
                            static_cast<std::uint16_t>(100 + i % 1000));
  }
  return out;
}

const SigdiffCase kCases[] = {
    {"BothEmpty", "", ""},
    {"NewEmpty", kSignatures, ""},
    {"Identical", kSignatures, kSignatures},
    {"OldEmptyNewWithCopies", "", kA + kB + kA + kA + kB},
    {"InsertionInTheMiddle", kSignatures,
     signatures_of(kData.substr(0, 20000) + "a few bytes inserted" + kData.substr(20000))},
    {"DeletionInTheMiddle", kSignatures, signatures_of(kData.substr(0, 15000) + kData.substr(15100))},
    {"AppendedTail", kSignatures, signatures_of(kData + random_bytes(3000, 8))},
    {"OnlyTheLengthDiffers", kA, signature_record(0x11111111, 0x22222222, 301) + kA},
    {"OnlyOneCrcDiffers", kA,
     signature_record(0x11111111, 0x22222223, 300) + signature_record(0x11111112, 0x22222222, 300)},
    {"AllOnesInBoth", kAllOnes + kA, kAllOnes + kB + kAllOnes},
    {"AllOnesOnlyNew", kA, kAllOnes + kA + kAllOnes + kB},
    {"PartialLastRecords", kA + "12345", kB + kA + "123456789"},
    {"OnlyPartialRecords", "123", "123456789"},
    // Far more new records than candidates are kept for: the table of OLD's
    // records is built instead, and grows.
    {"TableGrowsForNewChunks", kA, distinct_records(20000, 1000) + distinct_records(20000, 1000) + kA},
    {"TableWithAllOnesInBoth", kAllOnes + kA, distinct_records(5000, 9) + kAllOnes + kB + kAllOnes},
    {"TableWithAllOnesOnlyNew", kA, distinct_records(5000, 9) + kAllOnes + kA + kAllOnes},
    {"ManyOldFewNew", distinct_records(30000, 5), distinct_records(30010, 5)},
};

class Sigdiff : public testing::TestWithParam<SigdiffCase> {};

TEST_P(Sigdiff, ListsExactlyTheChunksToAdd) {
  const SigdiffCase& c = GetParam();
  ScratchDir dir;
  write_file(dir.path("old.sig"), c.old_file);
  write_file(dir.path("new.sig"), c.new_file);
  const SigdiffOutput expected = reference_sigdiff(c.old_file, c.new_file);
  RunResult result = run_tool(tool_path("sigdiff"), {dir.path("old.sig"), dir.path("new.sig")});
  EXPECT_EQ(result.exit_code, expected.exit_code);
  EXPECT_EQ(result.console, expected.lines);
  EXPECT_EQ(result.errors, "");
  result = run_tool(tool_path("sigdiff"), {"--summary", dir.path("old.sig"), dir.path("new.sig")});
  EXPECT_EQ(result.exit_code, expected.exit_code);
  EXPECT_EQ(result.console, expected.summary);
  EXPECT_EQ(result.errors, "");
  // A file compared with itself holds nothing new.
  result = run_tool(tool_path("sigdiff"), {dir.path("new.sig"), dir.path("new.sig")});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, "");
}

INSTANTIATE_TEST_SUITE_P(Pairs, Sigdiff, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SigdiffCase>& param_info) { return param_info.param.name; });

}  // namespace
