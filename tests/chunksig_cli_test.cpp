// chunksig run as a program: whole console output, whole signature file and
// exit code, against the reference model or the documented examples.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

const std::string& kChunksig = tool_path("chunksig");

struct ModelCase {
  const char* name;
  std::uint64_t fptr;
  std::string data;
  std::string segments;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ModelCase& c, std::ostream* os) { *os << c.name; }

class KernelChunksigAgainstModel : public testing::TestWithParam<ModelCase> {};

TEST_P(KernelChunksigAgainstModel, MatchesModel) {
  const ModelCase& c = GetParam();
  const ChunksigFiles files(c.fptr, c.data, c.segments);
  const RunResult result = files.run();
  const ChunksigOutput expected = reference_chunksig(c.fptr, c.data, c.segments);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, expected.console);
  EXPECT_EQ(read_file(files.signatures), expected.signatures);
}

std::string many_random_segments(std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out;
  for (std::uint64_t ofs = 0; ofs < 40000;) {
    const std::uint32_t len = rng() % 3000;
    out += segment(len, ofs);
    ofs += len + rng() % 200;  // gaps between segments
    if (rng() % 5 == 0) out += segment(rng() % 500, ofs - rng() % 1000);  // overlap or stale
  }
  return out;
}

const std::uint64_t k4GiB = std::uint64_t{1} << 32;

INSTANTIATE_TEST_SUITE_P(
    Inputs, KernelChunksigAgainstModel,
    testing::Values(
        ModelCase{"EmptySegmentList", 0, cycling_bytes(1000), ""},
        ModelCase{"PartialLastRecordIgnored", 0, cycling_bytes(1000),
                  segment(300, 0) + segment(200, 300) + "\1\2\3\4\5"},
        ModelCase{"AllSegmentsBelowStart", 5000, cycling_bytes(100), segment(10, 0) + segment(4000, 1000)},
        ModelCase{"SegmentStraddlingStart", 100, cycling_bytes(1000), segment(400, 0)},
        ModelCase{"GapTakenWithSegment", 0, random_bytes(3000, 1), segment(200, 0) + segment(100, 2000)},
        ModelCase{"OutOfOrderAndOverlapping", 0, random_bytes(5000, 2),
                  segment(1000, 2000) + segment(500, 0) + segment(1000, 2500) + segment(10, 2999)},
        ModelCase{"ZerosUpToMaxChunk", 0, std::string(65535, '\0'), segment(65535, 0)},
        ModelCase{"ZerosOnePastMaxChunk", 0, std::string(65536, '\0'), segment(65536, 0)},
        ModelCase{"SegmentShorterThanMinChunk", 0, random_bytes(99, 3), segment(99, 0) + segment(1, 99)},
        ModelCase{"DataEndsEarly", 0, random_bytes(700, 4), segment(1500, 0) + segment(300, 1600)},
        ModelCase{"EmptyDataFile", 0, "", segment(1000, 0)},
        ModelCase{"RandomSegments", 0, random_bytes(45000, 5), many_random_segments(6)},
        ModelCase{"StartBeyond4GiB", k4GiB + 5, random_bytes(400, 7),
                  segment(300, k4GiB) + segment(7, k4GiB + 400) + segment(0x80000000u, 1)}),
    [](const testing::TestParamInfo<ModelCase>& param_info) { return param_info.param.name; });

// Many small runs with everything drawn at random: start position, segment
// order, overlaps, gaps, zero runs that stretch chunks, and data files that end
// early.
TEST(KernelChunksigAgainstModelRandom, ManySmallRuns) {
  std::mt19937 rng(2024);
  for (int run = 0; run < 60; ++run) {
    const std::uint64_t fptr = rng() % 3 == 0 ? 0 : rng() % 2000;
    std::string data = random_bytes(rng() % 6000, rng());
    for (std::size_t at = rng() % 4000; at < data.size() && rng() % 2 == 0; at += 700) {
      data.replace(at, 400, std::string(400, '\0'));  // may lengthen the data a little
    }
    std::string segments;
    for (int i = rng() % 12; i > 0; --i) segments += segment(rng() % 1500, rng() % 7000);
    const ChunksigFiles files(fptr, data, segments);
    // The reason, should a run fail, for the message below.
    RunOptions verbose;
    verbose.environment = {kVerbose};
    const RunResult result = files.run(verbose);
    const ChunksigOutput expected = reference_chunksig(fptr, data, segments);
    ASSERT_EQ(result.exit_code, 0) << run << " " << result.errors;
    ASSERT_EQ(result.console, expected.console) << run;
    ASSERT_EQ(read_file(files.signatures), expected.signatures) << run;
  }
}

TEST(KernelChunksigExamples, FirstWorkedExample) {
  const ChunksigFiles files(0, cycling_bytes(1024), segment(600, 0));
  const RunResult result = files.run();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, "fptr=0\n00000258 00000258 00000258 00000000 00000258 !!!\n");
  EXPECT_EQ(read_file(files.signatures),
            signature_record(0xD2654ACC, 0xA1756E44, 180) + signature_record(0x61A83AA1, 0x26C7C427, 155) +
                signature_record(0xC78630C1, 0xB604F7B0, 101) + signature_record(0x61A83AA1, 0x26C7C427, 155) +
                signature_record(0xFABCF28B, 0x3EA59F71, 9));
}

TEST(KernelChunksigExamples, SecondWorkedExample) {
  const ChunksigFiles files(100, cycling_bytes(1024), segment(50, 0) + segment(300, 50) + segment(20, 400));
  const RunResult result = files.run();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console,
            "fptr=100\n"
            "0000015E 000000FA 0000012C 00000032 0000015E !!!\n"
            "000001A4 00000140 00000014 00000190 000001A4 !!!\n");
  const std::string data = cycling_bytes(320);
  EXPECT_EQ(read_file(files.signatures), reference_signature(data.substr(0, 180)) +
                                             reference_signature(data.substr(180, 70)) +
                                             reference_signature(data.substr(250, 70)));
}

// A span of 2^32 bytes is taken whole, not as its low 32 bits (zero bytes).
// The data file is empty, so every byte is 0xFF: a run of 0xFF never meets the
// threshold, so the chunks are 65537 of 65535 bytes and one of 1.
TEST(KernelChunksigExamples, SpanOf4GiBTakenWhole) {
  const ChunksigFiles files(0, "", segment(0xFFFFFFFF, 1));
  const RunResult result = files.run();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, "fptr=0\n00000000 00000000 FFFFFFFF 00000001 00000000 !!!\n");
  std::string expected;
  const std::string full = reference_signature(std::string(65535, '\xFF'));
  for (int i = 0; i < 65537; ++i) expected += full;
  expected += reference_signature("\xFF");
  EXPECT_EQ(read_file(files.signatures), expected);
}

// A signature path that names an input, however it is spelled, is refused
// before anything is created, printed or truncated.
TEST(ChunksigFailures, SignaturePathNamingAnInput) {
  const ChunksigFiles files(7, cycling_bytes(700), segment(600, 0));
  write_file(files.base, "basefil");
  for (const std::string* input : {&files.base, &files.data, &files.segments}) {
    const std::string before = read_file(*input);
    const std::string link = files.dir.path("symlink"), hard = files.dir.path("hardlink");
    ASSERT_EQ(::symlink(input->c_str(), link.c_str()), 0);
    ASSERT_EQ(::link(input->c_str(), hard.c_str()), 0);
    for (const std::string& target : {*input, link, hard}) {
      const RunResult result = run_tool(kChunksig, {files.base, files.data, files.segments, target});
      EXPECT_EQ(result.exit_code, 1) << target;
      EXPECT_EQ(result.console, "") << target;
      EXPECT_EQ(read_file(*input), before) << target;
    }
    ::unlink(link.c_str());
    ::unlink(hard.c_str());
  }
}

// A read error is not the end of a file: the run stops with exit code 1.
// /proc/self/mem opens, but reading at offset 0 fails.
TEST(ChunksigFailures, ReadErrors) {
  const ChunksigFiles files(0, cycling_bytes(700), segment(600, 0));
  RunResult result = run_tool(kChunksig, {files.base, "/proc/self/mem", files.segments, files.signatures});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.console, "fptr=0\n00000258 00000258 00000258 00000000 00000258 !!!\n");
  EXPECT_EQ(read_file(files.signatures), "");
  result = run_tool(kChunksig, {files.base, files.data, "/proc/self/mem", files.signatures});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.console, "fptr=0\n");
}

// Console output that cannot be written fails the run, and never ends up in a
// file the tool opened; the signature file is still complete.
TEST(ChunksigFailures, UnwritableConsole) {
  const ChunksigFiles files(0, cycling_bytes(700), segment(600, 0));
  const ChunksigOutput expected = reference_chunksig(0, cycling_bytes(700), segment(600, 0));
  RunOptions full, closed, all_closed;
  full.console = Console::kDevFull;
  closed.console = Console::kClosed;
  all_closed.console = Console::kClosed;
  all_closed.close_stdin = true;
  for (const RunOptions& options : {full, closed, all_closed}) {
    if (options.console == Console::kClosed && !closed_descriptors_testable()) continue;
    EXPECT_EQ(files.run(options).exit_code, 1);
    EXPECT_EQ(read_file(files.signatures), expected.signatures);
    EXPECT_EQ(read_file(files.data), cycling_bytes(700));
    EXPECT_EQ(read_file(files.segments), segment(600, 0));
  }
}

}  // namespace

namespace {

// The progress line on a terminal's standard error: drawn once a run has
// lasted a second, and cleared before the end; never for a short run, nor
// with CHUNKTOOLS_PROGRESS=0. The data comes through a FIFO that holds the
// run up for longer than that second. Standard output and the signature file
// are the same as ever.
struct ProgressCase {
  const char* name;
  bool slow;
  std::vector<std::string> environment;
  bool drawn;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.name; }

// Whether `text` is one or more drawings of the progress line, each
// "\rchunksig: N.N MiB read, N.N MiB/s, segment 1" padded with blanks, and
// then the line blanked out: "\r", blanks, "\r".
bool drawn_then_cleared(const std::string& text) {
  std::size_t at = 0;
  const auto literal = [&](const std::string& expected) {
    if (text.compare(at, expected.size(), expected) != 0) return false;
    at += expected.size();
    return true;
  };
  const auto digits = [&] {
    const std::size_t start = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    return at > start;
  };
  const auto blanks = [&] {
    const std::size_t start = at;
    while (at < text.size() && text[at] == ' ') ++at;
    return at - start;
  };
  int drawings = 0;
  while (literal("\rchunksig: ")) {
    if (!(digits() && literal(".") && digits() && literal(" MiB read, ") && digits() && literal(".") &&
          digits() && literal(" MiB/s, segment 1"))) {
      return false;
    }
    blanks();
    ++drawings;
  }
  return drawings > 0 && literal("\r") && blanks() > 0 && literal("\r") && at == text.size();
}

class ProgressOnATerminal : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressOnATerminal, DrawnAndClearedOnlyWhenLong) {
  if (under_wine()) GTEST_SKIP() << "a Windows program under Wine has no console on a pseudo-terminal";
  const ProgressCase& c = GetParam();
  const std::string data = random_bytes(1536 * 1024, 11);
  const std::string segments = segment(static_cast<std::uint32_t>(data.size()), 0);
  ChunksigFiles files(0, data, segments);
  std::thread writer;
  if (c.slow) writer = feed_fifo(files.data, data, 1024 * 1024, 1200);
  RunOptions options;
  options.errors_on_terminal = true;
  options.environment = c.environment;
  const RunResult result = run_tool(kChunksig, files.args(), options);
  if (writer.joinable()) writer.join();
  const ChunksigOutput expected = reference_chunksig(0, data, segments);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, expected.console);
  EXPECT_EQ(read_file(files.signatures), expected.signatures);
  if (c.drawn) {
    EXPECT_TRUE(drawn_then_cleared(result.errors)) << testing::PrintToString(result.errors);
  } else {
    EXPECT_EQ(result.errors, "");
  }
}

// What a terminal shows for `text`: each line as the cursor left it, CR
// returning to the line's start and later bytes overwriting earlier ones,
// with trailing blanks dropped, and without the empty lines.
std::vector<std::string> screen_lines(const std::string& text) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (char c : text) {
    if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (c == '\r') {
      column = 0;
    } else {
      std::string& line = lines.back();
      if (column < line.size()) {
        line[column] = c;
      } else {
        line += c;
      }
      ++column;
    }
  }
  std::vector<std::string> shown;
  for (std::string& line : lines) {
    line.erase(line.find_last_not_of(' ') + 1);
    if (!line.empty()) shown.push_back(line);
  }
  return shown;
}

// Standard output on the same terminal as the progress line (the usual
// interactive run): the trace lines that go out while the line is drawn read
// exactly as without it, and nothing of the progress line is left on screen.
TEST(ProgressOnATerminal, TraceLinesOnTheSameTerminalReadWhole) {
  if (under_wine()) GTEST_SKIP() << "a Windows program under Wine has no console on a pseudo-terminal";
  // 100-byte segments, so that trace lines go out (with their records) while
  // the line is drawn, after the pause.
  const std::string data = random_bytes(2 * 1024 * 1024, 12);
  std::string segments;
  for (std::uint32_t ofs = 0; ofs < data.size(); ofs += 100) segments += segment(100, ofs);
  ChunksigFiles files(0, data, segments);
  std::thread writer = feed_fifo(files.data, data, 1024 * 1024, 1200);
  RunOptions options;
  options.console = Console::kTerminal;
  const RunResult result = run_tool(kChunksig, files.args(), options);
  writer.join();
  const ChunksigOutput expected = reference_chunksig(0, data, segments);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(read_file(files.signatures), expected.signatures);
  EXPECT_NE(result.errors.find("MiB/s"), std::string::npos) << "the progress line was drawn";
  EXPECT_EQ(screen_lines(result.errors), screen_lines(expected.console));
}

INSTANTIATE_TEST_SUITE_P(Runs, ProgressOnATerminal,
                         testing::Values(ProgressCase{"Long", true, {}, true},
                                         ProgressCase{"LongWithProgressOne", true, {"CHUNKTOOLS_PROGRESS=1"}, true},
                                         ProgressCase{"LongWithProgressOff", true, {"CHUNKTOOLS_PROGRESS=0"}, false},
                                         ProgressCase{"Short", false, {}, false}),
                         [](const testing::TestParamInfo<ProgressCase>& param_info) {
                           return param_info.param.name;
                         });

}  // namespace
