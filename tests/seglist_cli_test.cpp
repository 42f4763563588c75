// seglist run as a program, form by form: the whole segment list written (or
// kept, after a bad line), the whole console output, the reason and the exit
// code; every list `show` prints reads back through `text` to the same bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

constexpr std::uint64_t kMaxLen = 4294967295;
constexpr std::uint64_t kMaxOfs = (std::uint64_t{1} << 48) - 1;

struct SeglistCase {
  const char* name;
  // Writes the inputs into the folder and gives the arguments; the list goes
  // to "segs".
  std::function<std::vector<std::string>(const ScratchDir&)> setup;
  int exit_code;
  std::string console;
  std::string segments;  // what "segs" holds afterwards
  std::string reason;    // standard error under CHUNKTOOLS_VERBOSE, "" for none
};

void PrintTo(const SeglistCase& c, std::ostream* os) { *os << c.name; }

// `seglist cover` over a file of `size` bytes (sparse), with `length` if given.
std::function<std::vector<std::string>(const ScratchDir&)> cover(std::uint64_t size, const char* length = nullptr) {
  return [size, length](const ScratchDir& dir) {
    write_file(dir.path("file"), "");
    if (::truncate(dir.path("file").c_str(), static_cast<off_t>(size)) != 0) std::abort();
    std::vector<std::string> args = {"cover", dir.path("file"), dir.path("segs")};
    if (length != nullptr) args.push_back(length);
    return args;
  };
}

// `seglist text` over `text`.
std::function<std::vector<std::string>(const ScratchDir&)> text(const std::string& text) {
  return [text](const ScratchDir& dir) {
    write_file(dir.path("text"), text);
    return std::vector<std::string>{"text", dir.path("text"), dir.path("segs")};
  };
}

// `seglist show` over `segments`, left in "segs".
std::function<std::vector<std::string>(const ScratchDir&)> show(const std::string& segments) {
  return [segments](const ScratchDir& dir) {
    write_file(dir.path("segs"), segments);
    return std::vector<std::string>{"show", dir.path("segs")};
  };
}

std::string bad_line(int line, const std::string& problem) {
  return "seglist: text file '%DIR%/text' line " + std::to_string(line) + ": " + problem + "\n";
}
const std::string kMalformed = "expected OFFSET LENGTH in decimal";
const std::string kBadOffset = "offset out of range (0 to 281474976710655)";
const std::string kBadLength = "length out of range (1 to 4294967295)";

const SeglistCase kCases[] = {
    {"CoverEmptyFile", cover(0), 0, "", "", ""},
    {"CoverOneByte", cover(1), 0, "", segment(1, 0), ""},
    {"CoverLastSegmentShorter", cover(10, "3"), 0, "", segment(3, 0) + segment(3, 3) + segment(3, 6) + segment(1, 9),
     ""},
    {"CoverExactMultiple", cover(9, "0003"), 0, "", segment(3, 0) + segment(3, 3) + segment(3, 6), ""},
    {"CoverLengthOne", cover(3, "1"), 0, "", segment(1, 0) + segment(1, 1) + segment(1, 2), ""},
    {"CoverBeyondTheLargestLength", cover(10 * (std::uint64_t{1} << 30)), 0, "",
     segment(4294967295u, 0) + segment(4294967295u, kMaxLen) + segment(2147483650u, 2 * kMaxLen), ""},
    {"CoverLargestLengthGiven", cover(kMaxLen + 1, "4294967295"), 0, "",
     segment(4294967295u, 0) + segment(1, kMaxLen), ""},
    {"TextEmpty", text(""), 0, "", "", ""},
    {"TextOneLine", text("0 600\n"), 0, "", segment(600, 0), ""},
    {"TextBlanksCommentsAndCrLf",
     text("# regions\n\n \t \r\n  # indented comment\n0 100 100\r\n4096\t7\n\t 12   5  \n281474976710655 4294967295"),
     0, "", segment(100, 0) + segment(7, 4096) + segment(5, 12) + segment(4294967295u, kMaxOfs), ""},
    {"TextThirdFieldIsEnd", text("5 10 15\n0 1 00001\n"), 0, "", segment(10, 5) + segment(1, 0), ""},
    {"TextThirdFieldNotEnd", text("1 2 3\n1 2 4\n"), 1, "", segment(2, 1),
     bad_line(2, "third field is not END, OFFSET + LENGTH (3)")},
    {"TextThirdFieldNotANumber", text("1 2 3x\n"), 1, "", "", bad_line(1, "third field is not END, OFFSET + LENGTH (3)")},
    {"TextCrOnlyBeforeTheNewline", text("1 2\r\n100\r200\n"), 1, "", segment(2, 1), bad_line(2, kMalformed)},
    {"TextCrAtTheEnd", text("1 2 3\r"), 0, "", segment(2, 1), ""},
    {"TextLeadingZeros", text("000 0004294967295\n"), 0, "", segment(4294967295u, 0), ""},
    {"TextMalformedKeepsEarlierLines", text("0 100\n200 50\nabc\n5 5\n"), 1, "", segment(100, 0) + segment(50, 200),
     bad_line(3, kMalformed)},
    {"TextOneField", text("# a\n7\n"), 1, "", "", bad_line(2, kMalformed)},
    {"TextFourFields", text("1 2 3 4\n"), 1, "", "", bad_line(1, kMalformed)},
    {"TextSigned", text("0 5\n+1 5\n"), 1, "", segment(5, 0), bad_line(2, kMalformed)},
    {"TextNegative", text("-1 5\n"), 1, "", "", bad_line(1, kMalformed)},
    {"TextComma", text("1,5\n"), 1, "", "", bad_line(1, kMalformed)},
    {"TextNulByte", text(std::string("1 5\0\n", 5)), 1, "", "", bad_line(1, kMalformed)},
    {"TextLengthZero", text("\n\n1 0\n"), 1, "", "", bad_line(3, kBadLength)},
    {"TextLengthAboveLargest", text("1 1\n1 4294967296"), 1, "", segment(1, 1), bad_line(2, kBadLength)},
    {"TextLengthHuge", text("1 99999999999999999999999\n"), 1, "", "", bad_line(1, kBadLength)},
    {"TextOffsetAboveLargest", text("281474976710656 1\n"), 1, "", "", bad_line(1, kBadOffset)},
    {"TextOffsetHuge", text("99999999999999999999999 1\n"), 1, "", "", bad_line(1, kBadOffset)},
    {"ShowEmpty", show(""), 0, "", "", ""},
    {"ShowFields", show(segment(600, 0) + segment(7, 4096) + segment(4294967295u, kMaxOfs)), 0,
     "0 600 600\n4096 7 4103\n281474976710655 4294967295 281479271677950\n",
     segment(600, 0) + segment(7, 4096) + segment(4294967295u, kMaxOfs), ""},
    {"ShowPartialLastRecord", show(segment(1, 2) + "123456789"), 0, "2 1 3\n", segment(1, 2) + "123456789",
     "seglist: warning: segment list '%DIR%/segs' ends in 9 bytes of a partial record, which is ignored\n"},
};

std::string with_folder(std::string text, const std::string& folder) {
  const std::string marker = "%DIR%";
  for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker)) {
    text.replace(at, marker.size(), folder);
  }
  return text;
}

class Seglist : public testing::TestWithParam<SeglistCase> {};

TEST_P(Seglist, WritesOrPrintsTheWholeList) {
  const SeglistCase& c = GetParam();
  ScratchDir dir;
  const std::vector<std::string> args = c.setup(dir);
  RunOptions verbose;
  verbose.environment = {kVerbose};
  const RunResult result = run_tool(tool_path("seglist"), args, verbose);
  EXPECT_EQ(result.exit_code, c.exit_code);
  EXPECT_EQ(result.console, c.console);
  EXPECT_EQ(result.errors, with_folder(c.reason, dir.root()));
  EXPECT_EQ(read_file(dir.path("segs")), c.segments);
  if (args[0] != "show") return;
  // What show prints, text reads back: the whole records.
  write_file(dir.path("shown"), result.console);
  const RunResult again = run_tool(tool_path("seglist"), {"text", dir.path("shown"), dir.path("again")});
  EXPECT_EQ(again.exit_code, 0);
  const std::string whole = c.segments.substr(0, c.segments.size() / 10 * 10);
  EXPECT_EQ(read_file(dir.path("again")), whole);
}

INSTANTIATE_TEST_SUITE_P(Forms, Seglist, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SeglistCase>& param_info) { return param_info.param.name; });

}  // namespace
