// Input the tools take as documented but a script may want to know of: a
// partial record at the end of a record file, and a data file shorter than
// the segments. Silent by default; one warning line per kind under
// CHUNKTOOLS_VERBOSE, with the exit code unchanged; a failure under
// CHUNKTOOLS_STRICT, which keeps what was written before. Each case runs in
// all four settings and compares the exit code, both output streams and the
// file written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

struct Expected {
  int exit_code;
  std::string console;
  std::string output;  // the file the tool writes, if any
};

struct ToleratedCase {
  const char* name;
  // Writes the inputs into `dir`; returns the tool's arguments.
  std::vector<std::string> (*prepare)(ScratchDir& dir);
  std::string tool;
  const char* output_name;  // "" when the tool writes no file
  Expected lenient;         // without CHUNKTOOLS_STRICT
  Expected strict;
  std::string reason;       // the text after "TOOL: " (and "warning: ")
};

void PrintTo(const ToleratedCase& c, std::ostream* os) { *os << c.name; }

const std::string kData = random_bytes(5000, 3);
const std::string kSegments = segment(3000, 0) + segment(2000, 3000);
const ChunksigOutput kWhole = reference_chunksig(0, kData, kSegments);
// A data file of 4000 bytes for segments that reach 5000: the model pads.
const ChunksigOutput kPadded = reference_chunksig(0, kData.substr(0, 4000) + std::string(1000, '\xFF'), kSegments);

std::string chunks_ending_by(const std::string& signatures, std::uint64_t limit) {
  std::string kept;
  std::uint64_t end = 0;
  for (std::size_t at = 0; at + 10 <= signatures.size(); at += 10) {
    end += static_cast<unsigned char>(signatures[at + 8]) | static_cast<unsigned char>(signatures[at + 9]) << 8;
    if (end > limit) break;
    kept += signatures.substr(at, 10);
  }
  return kept;
}

const ToleratedCase kCases[] = {
    {"ChunksigPartialSegmentRecord",
     [](ScratchDir& dir) {
       write_file(dir.path("base"), "");
       write_file(dir.path("data"), kData);
       write_file(dir.path("segments"), kSegments + std::string(7, '\x01'));
       return std::vector<std::string>{dir.path("base"), dir.path("data"), dir.path("segments"), dir.path("out")};
     },
     "chunksig", "out", {0, kWhole.console, kWhole.signatures}, {1, kWhole.console, kWhole.signatures},
     "segment list '%DIR%/segments' ends in 7 bytes of a partial record, which %VERB%"},
    {"ChunksigShortData",
     [](ScratchDir& dir) {
       write_file(dir.path("base"), "");
       write_file(dir.path("data"), kData.substr(0, 4000));
       write_file(dir.path("segments"), kSegments);
       return std::vector<std::string>{dir.path("base"), dir.path("data"), dir.path("segments"), dir.path("out")};
     },
     "chunksig", "out", {0, kPadded.console, kPadded.signatures},
     {1, kPadded.console, chunks_ending_by(kPadded.signatures, 4000)}, "%SHORT%"},
    {"SigdumpPartialRecord",
     [](ScratchDir& dir) {
       write_file(dir.path("sig"), signature_record(1, 2, 3) + "abc");
       return std::vector<std::string>{dir.path("sig")};
     },
     "sigdump", "", {0, "0 3 00000001 00000002\n", ""}, {1, "0 3 00000001 00000002\n", ""},
     "signature file '%DIR%/sig' ends in 3 bytes of a partial record, which %VERB%"},
    {"IdxdumpPartialEntry",
     [](ScratchDir& dir) {
       write_file(dir.path("index"), std::string(39, '\0'));
       return std::vector<std::string>{dir.path("index")};
     },
     "idxdump", "", {0, "", ""}, {1, "", ""},
     "index file '%DIR%/index' ends in 39 bytes of a partial record, which %VERB%"},
    {"SeglistShowPartialRecord",
     [](ScratchDir& dir) {
       write_file(dir.path("segs"), segment(5, 1) + "x");
       return std::vector<std::string>{"show", dir.path("segs")};
     },
     "seglist", "", {0, "1 5 6\n", ""}, {1, "1 5 6\n", ""},
     "segment list '%DIR%/segs' ends in 1 byte of a partial record, which %VERB%"},
    {"SigdiffPartialRecordInNew",
     [](ScratchDir& dir) {
       write_file(dir.path("old"), signature_record(1, 2, 3));
       write_file(dir.path("new"), signature_record(1, 2, 3) + signature_record(4, 5, 6) + "12345");
       return std::vector<std::string>{dir.path("old"), dir.path("new")};
     },
     "sigdiff", "", {1, "3 6 00000004 00000005\n", ""}, {2, "", ""},
     "new signature file '%DIR%/new' ends in 5 bytes of a partial record, which %VERB%"},
};

std::string replaced(std::string text, const std::string& marker, const std::string& by) {
  for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + by.size())) {
    text.replace(at, marker.size(), by);
  }
  return text;
}

class ToleratedInput : public testing::TestWithParam<ToleratedCase> {};

TEST_P(ToleratedInput, SilentWarnedOrFailed) {
  const ToleratedCase& c = GetParam();
  for (const bool strict : {false, true}) {
    for (const bool verbose : {false, true}) {
      ScratchDir dir;
      const std::vector<std::string> args = c.prepare(dir);
      RunOptions options;
      if (verbose) options.environment.push_back(kVerbose);
      if (strict) options.environment.push_back("CHUNKTOOLS_STRICT=1");
      const RunResult result = run_tool(tool_path(c.tool), args, options);
      const Expected& expected = strict ? c.strict : c.lenient;
      const std::string setting = std::string(strict ? "strict" : "lenient") + (verbose ? ", verbose" : "");
      EXPECT_EQ(result.exit_code, expected.exit_code) << setting;
      EXPECT_EQ(result.console, expected.console) << setting;
      if (*c.output_name != '\0') {
        EXPECT_EQ(read_file(dir.path(c.output_name)), expected.output) << setting;
      }
      std::string reason = replaced(c.reason, "%DIR%", dir.root());
      reason = replaced(reason, "%VERB%", strict ? "cannot be taken" : "is ignored");
      reason = replaced(reason, "%SHORT%",
                        strict ? "data file '" + dir.path("data") +
                                     "' lacks the bytes from stream position 4000 on, which the segments reach"
                               : "data file '" + dir.path("data") +
                                     "' lacks 1000 bytes the segments reach, from stream position 4000 on: taken "
                                     "as 0xFF bytes");
      const std::string line = c.tool + ": " + (strict ? "" : "warning: ") + reason + "\n";
      EXPECT_EQ(result.errors, verbose ? line : "") << setting;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ToleratedInput, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ToleratedCase>& param_info) {
                           return param_info.param.name;
                         });

// Strict or verbose, a run whose input is whole says nothing more.
TEST(ToleratedInput, WholeInputIsQuiet) {
  ChunksigFiles files(0, kData, kSegments);
  RunOptions options;
  options.environment = {kVerbose, "CHUNKTOOLS_STRICT=1"};
  const RunResult result = files.run(options);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, kWhole.console);
  EXPECT_EQ(result.errors, "");
  EXPECT_EQ(read_file(files.signatures), kWhole.signatures);
}

}  // namespace
