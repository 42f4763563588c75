// sigdiff run as a program over pairs of signature files, against a model
// written from its description: the whole listing, the whole summary line and
// the exit code of each pair.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

struct Expected {
  std::string lines;
  std::string summary;
  int exit_code;
};

std::string percent(std::uint64_t part, std::uint64_t whole) {
  const std::uint64_t hundredths = whole == 0 ? 0 : (part * 10000 + whole / 2) / whole;
  std::string fraction = std::to_string(hundredths % 100);
  if (fraction.size() == 1) fraction = "0" + fraction;
  return "(" + std::to_string(hundredths / 100) + "." + fraction + "%)";
}

std::string hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::uint64_t field(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Every whole record of NEW whose 10 bytes are in neither OLD nor earlier in
// NEW, as sigdump prints it.
Expected model_sigdiff(const std::string& old_file, const std::string& new_file) {
  std::set<std::string> held;
  for (std::size_t at = 0; at + 10 <= old_file.size(); at += 10) held.insert(old_file.substr(at, 10));
  Expected out;
  std::uint64_t offset = 0, chunks = 0, new_chunks = 0, new_bytes = 0;
  for (std::size_t at = 0; at + 10 <= new_file.size(); at += 10) {
    const std::string record = new_file.substr(at, 10);
    const std::uint64_t len = field(record, 8, 2);
    if (held.insert(record).second) {
      out.lines += std::to_string(offset) + " " + std::to_string(len) + " " +
                   hex8(static_cast<std::uint32_t>(field(record, 0, 4))) + " " +
                   hex8(static_cast<std::uint32_t>(field(record, 4, 4))) + "\n";
      ++new_chunks;
      new_bytes += len;
    }
    ++chunks;
    offset += len;
  }
  out.summary = std::to_string(chunks) + " chunks, " + std::to_string(new_chunks) + " new " +
                percent(new_chunks, chunks) + "; " + std::to_string(offset) + " bytes, " +
                std::to_string(new_bytes) + " new " + percent(new_bytes, offset) + "\n";
  out.exit_code = new_chunks == 0 ? 0 : 1;
  return out;
}

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
  const Expected expected = model_sigdiff(c.old_file, c.new_file);
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
