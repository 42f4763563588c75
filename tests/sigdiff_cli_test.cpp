// sigdiff run as a program over signature files, against a model written
// from its description: the whole listing, the whole summary line and the
// exit code of each case, whichever way it is run (side by side, the
// partitioned join, OLD split in several files, a pipe, a small memory
// budget); and its cost and memory on crafted and large input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

// A case's files are made when it runs: every case of the program is
// registered at each start, and CTest starts the program once per case.
struct SigdiffCase {
  const char* name;
  std::string (*old_file)();
  std::string (*new_file)();
};

void PrintTo(const SigdiffCase& c, std::ostream* os) { *os << c.name; }

std::string signatures_of(const std::string& data) {
  return reference_chunksig(0, data, segment(static_cast<std::uint32_t>(data.size()), 0)).signatures;
}

const std::string& data() {
  static const std::string bytes = random_bytes(40000, 7);
  return bytes;
}
std::string data_signatures() { return signatures_of(data()); }
std::string nothing() { return std::string(); }
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
    {"BothEmpty", nothing, nothing},
    {"NewEmpty", data_signatures, nothing},
    {"Identical", data_signatures, data_signatures},
    {"OldEmptyNewWithCopies", nothing, [] { return kA + kB + kA + kA + kB; }},
    {"InsertionInTheMiddle", data_signatures,
     [] { return signatures_of(data().substr(0, 20000) + "a few bytes inserted" + data().substr(20000)); }},
    {"DeletionInTheMiddle", data_signatures,
     [] { return signatures_of(data().substr(0, 15000) + data().substr(15100)); }},
    {"AppendedTail", data_signatures, [] { return signatures_of(data() + random_bytes(3000, 8)); }},
    {"OnlyTheLengthDiffers", [] { return kA; }, [] { return signature_record(0x11111111, 0x22222222, 301) + kA; }},
    {"OnlyOneCrcDiffers", [] { return kA; },
     [] { return signature_record(0x11111111, 0x22222223, 300) + signature_record(0x11111112, 0x22222222, 300); }},
    {"AllOnesInBoth", [] { return kAllOnes + kA; }, [] { return kAllOnes + kB + kAllOnes; }},
    {"AllOnesOnlyNew", [] { return kA; }, [] { return kAllOnes + kA + kAllOnes + kB; }},
    {"PartialLastRecords", [] { return kA + "12345"; }, [] { return kB + kA + "123456789"; }},
    {"OnlyPartialRecords", [] { return std::string("123"); }, [] { return std::string("123456789"); }},
    // Far more records out of step than the side-by-side reading keeps: the
    // partitioned join compares them.
    {"ManyNewChunks", [] { return kA; },
     [] { return distinct_records(40000, 1000) + distinct_records(40000, 1000) + kA; }},
    {"ReversedWithRepeats", [] { return distinct_records(70000, 3); },
     [] {
       const std::string forward = distinct_records(70000, 3) + distinct_records(100, 900000);
       std::string reversed;
       for (std::size_t at = forward.size(); at >= 10; at -= 10) reversed += forward.substr(at - 10, 10);
       return reversed + reversed.substr(0, 5000);
     }},
    {"TableWithAllOnesInBoth", [] { return kAllOnes + kA; },
     [] { return distinct_records(5000, 9) + kAllOnes + kB + kAllOnes; }},
    {"TableWithAllOnesOnlyNew", [] { return kA; }, [] { return distinct_records(5000, 9) + kAllOnes + kA + kAllOnes; }},
    {"ManyOldFewNew", [] { return distinct_records(30000, 5); }, [] { return distinct_records(30010, 5); }},
};

class Sigdiff : public testing::TestWithParam<SigdiffCase> {};

// The ways a case is run: OLD whole or split in three files (the partitioned
// join, whatever the files' likeness), NEW from a file or through a FIFO, the
// default memory budget or the smallest.
struct Way {
  const char* name;
  bool split_old;
  bool new_through_fifo;
  bool smallest_budget;
};
const Way kWays[] = {
    {"files", false, false, false},
    {"old split", true, false, false},
    {"new through a fifo", false, true, false},
    {"old split, smallest budget", true, false, true},
};

// Runs sigdiff with `args` before the paths, feeding NEW through a FIFO when
// the way says so.
RunResult run_way(const Way& way, const ScratchDir& dir, const std::vector<std::string>& olds,
                  const std::string& new_file, std::vector<std::string> args) {
  for (const std::string& old_path : olds) args.push_back(old_path);
  RunOptions options;
  if (way.smallest_budget) options.environment = {"CHUNKTOOLS_MEMORY=4M"};
  std::thread writer;
  if (way.new_through_fifo) {
    const std::string fifo = dir.path("new.fifo");
    args.push_back(fifo);
    writer = feed_fifo(fifo, read_file(new_file));
  } else {
    args.push_back(new_file);
  }
  RunResult result = run_tool(tool_path("sigdiff"), args, options);
  if (writer.joinable()) writer.join();
  return result;
}

TEST_P(Sigdiff, ListsExactlyTheChunksToAdd) {
  const std::string old_file = GetParam().old_file(), new_file = GetParam().new_file();
  ScratchDir dir;
  write_file(dir.path("old.sig"), old_file);
  write_file(dir.path("new.sig"), new_file);
  // OLD in three parts, each of whole records but the last.
  const std::size_t third = old_file.size() / 30 * 10;
  write_file(dir.path("old1.sig"), old_file.substr(0, third));
  write_file(dir.path("old2.sig"), old_file.substr(third, third));
  write_file(dir.path("old3.sig"), old_file.substr(2 * third));
  const SigdiffOutput expected = reference_sigdiff(old_file, new_file);
  for (const Way& way : kWays) {
    if (way.new_through_fifo && under_wine()) continue;  // Wine's FIFOs are not Windows' pipes
    const std::vector<std::string> olds =
        way.split_old ? std::vector<std::string>{dir.path("old1.sig"), dir.path("old2.sig"), dir.path("old3.sig")}
                      : std::vector<std::string>{dir.path("old.sig")};
    RunResult result = run_way(way, dir, olds, dir.path("new.sig"), {});
    EXPECT_EQ(result.exit_code, expected.exit_code) << way.name;
    EXPECT_EQ(result.console, expected.lines) << way.name;
    EXPECT_EQ(result.errors, "") << way.name;
    result = run_way(way, dir, olds, dir.path("new.sig"), {"--summary"});
    EXPECT_EQ(result.exit_code, expected.exit_code) << way.name;
    EXPECT_EQ(result.console, expected.summary) << way.name;
    EXPECT_EQ(result.errors, "") << way.name;
  }
  // A file compared with itself holds nothing new.
  const RunResult result = run_tool(tool_path("sigdiff"), {dir.path("new.sig"), dir.path("new.sig")});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.console, "");
}

INSTANTIATE_TEST_SUITE_P(Pairs, Sigdiff, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SigdiffCase>& param_info) { return param_info.param.name; });

std::uint16_t case_length(std::uint32_t i, std::uint16_t len) { return i / 65535 % 4 == 3 ? static_cast<std::uint16_t>(i % 7) : len; }

// `count` records whose identities collide in ways a fixed hash could be
// attacked with: the same value of the old table's hash (CRCs chosen as a
// target XOR the length times its multiplier), and records that share 32 or
// 48 of their 80 bits with each other.
std::string crafted_records(std::uint32_t count) {
  std::string out;
  const std::uint64_t target = 0x0123456789ABCDEFu;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint16_t len = static_cast<std::uint16_t>(1 + i % 65535);
    std::uint64_t crcs;
    switch (i / 65535 % 4) {
      case 0:
        crcs = target ^ (std::uint64_t{len} * 0x9E3779B97F4A7C15u);
        break;
      case 1:  // crc_plus1 and the length shared (48 bits)
        crcs = 0xAAAAAAAAu | std::uint64_t{i} << 32;
        break;
      case 2:  // crc_plain and the length shared (48 bits)
        crcs = std::uint64_t{0x55555555} << 32 | i;
        break;
      default:  // the length alone differs, or the CRCs share 32 bits
        crcs = std::uint64_t{i} * 0x100000001u;
        break;
    }
    out += signature_record(static_cast<std::uint32_t>(crcs), static_cast<std::uint32_t>(crcs >> 32),
                            case_length(i, len));
  }
  return out;
}

// No input is much slower than random input of the same size: records
// crafted to collide under a fixed hash take at most twice as long (with a
// margin for a busy machine), as both files and as NEW against random OLD.
TEST(SigdiffAtScale, CraftedInputIsNoSlowerThanRandom) {
  const std::uint32_t records = 250000;
  ScratchDir dir;
  const std::string crafted = crafted_records(records);
  const std::string random = random_bytes(std::size_t{records} * 10, 77);
  write_file(dir.path("crafted"), crafted);
  write_file(dir.path("crafted2"), crafted_records(records / 2) + crafted.substr(0, crafted.size() / 2));
  write_file(dir.path("random"), random);
  write_file(dir.path("random2"), random_bytes(std::size_t{records} * 10, 78));
  const auto best_of_three = [&](const std::vector<std::string>& args, std::string* console) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
      const RunResult result = run_tool(tool_path("sigdiff"), args);
      EXPECT_LE(result.exit_code, 1);
      if (result.seconds < best) best = result.seconds;
      *console = result.console;
    }
    return best;
  };
  std::string console;
  const double random_time = best_of_three({"--summary", dir.path("random"), dir.path("random2")}, &console);
  EXPECT_EQ(console, reference_sigdiff(random, read_file(dir.path("random2"))).summary);
  const double crafted_time = best_of_three({dir.path("crafted"), dir.path("crafted2")}, &console);
  EXPECT_EQ(console, reference_sigdiff(crafted, read_file(dir.path("crafted2"))).lines);
  // Timing says nothing under an emulator or valgrind.
  if (std::getenv("CHUNKTOOLS_TOOL_WRAPPER") == nullptr) {
    EXPECT_LE(crafted_time, 2 * random_time + 0.25) << crafted_time << " s against " << random_time << " s";
  }
}

// Past its memory budget sigdiff works through temporary files, with the
// same output, and its memory stays within the budget and a small constant.
TEST(SigdiffAtScale, WithinTheMemoryBudget) {
  const std::uint32_t records = 500000;  // 5 MB a file; the join needs 12.5 MB
  ScratchDir dir;
  const std::string old_file = random_bytes(std::size_t{records} * 10, 5);
  std::string new_file = old_file.substr(1000000) + random_bytes(2000000, 6) + old_file.substr(0, 1000000);
  write_file(dir.path("old"), old_file);
  write_file(dir.path("new"), new_file);
  const SigdiffOutput expected = reference_sigdiff(old_file, new_file);
  RunOptions budget;
  budget.environment = {"CHUNKTOOLS_MEMORY=4M", "TMPDIR=" + dir.root()};
  const RunResult result = run_tool(tool_path("sigdiff"), {dir.path("old"), dir.path("new")}, budget);
  EXPECT_EQ(result.exit_code, expected.exit_code);
  EXPECT_EQ(result.console, expected.lines);
  EXPECT_EQ(result.errors, "");
  // The peak, measured by a small parent (bench/timed_run), whose own memory
  // does not count as the test's would.
#if !defined(__SANITIZE_ADDRESS__)
  if (std::getenv("CHUNKTOOLS_TOOL_WRAPPER") == nullptr) {
    const RunResult timed = run_tool(TIMED_RUN_PATH, {dir.path("timed.out"), tool_path("sigdiff"), "--summary",
                                                      dir.path("old"), dir.path("new")}, budget);
    EXPECT_EQ(timed.exit_code, expected.exit_code);
    EXPECT_EQ(read_file(dir.path("timed.out")), expected.summary);
    const long peak_kib = std::atol(timed.console.substr(timed.console.find(' ') + 1).c_str());
    EXPECT_LE(peak_kib, (4 + 8) * 1024) << "KiB at the peak";
    ::unlink(dir.path("timed.out").c_str());
  }
#endif
  // The temporary files are gone.
  EXPECT_EQ(snapshot_files(dir.root()).size(), 2u);
  // Temporary files that cannot be written whole (a file-size limit, as a
  // full disk would do), and a folder for them that is missing: exit 2 and
  // the reason, no line printed. Not under a wrapper: valgrind and Wine make
  // files of their own in TMPDIR, and fail first.
  if (std::getenv("CHUNKTOOLS_TOOL_WRAPPER") != nullptr) return;
  RunOptions limited = budget;
  limited.environment.push_back(kVerbose);
  limited.file_size_limit = 1 << 20;
  const RunResult cut = run_tool(tool_path("sigdiff"), {dir.path("old"), dir.path("new")}, limited);
  EXPECT_EQ(cut.exit_code, 2);
  EXPECT_EQ(cut.console, "");
  const std::string cannot_write = "sigdiff: cannot write temporary file in '" + dir.root() + "': ";
  EXPECT_EQ(cut.errors.substr(0, cannot_write.size()), cannot_write);
  EXPECT_EQ(snapshot_files(dir.root()).size(), 2u);
  budget.environment = {"CHUNKTOOLS_MEMORY=4M", "TMPDIR=" + dir.path("missing"), kVerbose};
  const RunResult failed = run_tool(tool_path("sigdiff"), {dir.path("old"), dir.path("new")}, budget);
  EXPECT_EQ(failed.exit_code, 2);
  EXPECT_EQ(failed.console, "");
  const std::string reason = "sigdiff: cannot create temporary file in '" + dir.path("missing") + "': ";
  EXPECT_EQ(failed.errors.substr(0, reason.size()), reason);
}

}  // namespace
