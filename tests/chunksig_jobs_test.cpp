// chunksig -j: with any number of threads, the signature file, the console
// lines, the reasons and the exit code are those of one thread, for every
// shape of data and segment list, from a file or a pipe, and in failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

const std::string& kChunksig = tool_path("chunksig");
const std::uint64_t k4GiB = std::uint64_t{1} << 32;

// Where threads cannot be tested (an emulator that hangs when a program
// starts one), why.
const char* threads_untestable() { return std::getenv("CHUNKTOOLS_NO_THREADS"); }

struct Outcome {
  int exit_code;
  std::string console, errors, signatures;
};

// chunksig with `options` before the paths and `environment`, the reason
// asked for; the data through a FIFO when `pipe`.
Outcome run_with(const ChunksigFiles& files, const std::string& data, const std::vector<std::string>& options,
                 std::vector<std::string> environment, bool pipe, RunOptions run = RunOptions()) {
  std::vector<std::string> args = options;
  std::string data_path = files.data;
  ::unlink(files.signatures.c_str());  // a run that writes nothing shows as such
  std::thread writer;
  if (pipe) {
    data_path = files.dir.path("data.fifo");
    writer = feed_fifo(data_path, data);
  }
  for (const std::string& path : {files.base, data_path, files.segments, files.signatures}) args.push_back(path);
  environment.push_back(kVerbose);
  run.environment.insert(run.environment.end(), environment.begin(), environment.end());
  run.time_limit_seconds = 60;
  const RunResult result = run_tool(kChunksig, args, run);
  if (writer.joinable()) writer.join();
  if (pipe) ::unlink(data_path.c_str());
  return Outcome{result.exit_code, result.console, result.errors, read_file(files.signatures)};
}

// The ways of asking for threads, each against the run that asks for none:
// the option's three spellings (the last with the option ending the
// options, and winning over the setting), the setting alone, and one thread
// per CPU.
const struct {
  std::vector<std::string> options;
  std::vector<std::string> environment;
} kThreadRequests[] = {
    {{"-j", "2"}, {}},
    {{"-j0"}, {}},
    {{"--jobs=7", "--"}, {"CHUNKTOOLS_JOBS=1"}},
    {{}, {"CHUNKTOOLS_JOBS=3"}},
};

// Once in about a thousand runs under qemu-user, on a loaded machine, a run
// ended with status 1 and nothing on either stream. chunksig gives a reason
// for every failure it reports under CHUNKTOOLS_VERBOSE, so such an end is
// the emulator's; the run is tried once more.
bool emulator_lost_the_run(const Outcome& run, const Outcome& one) {
  return std::getenv("CHUNKTOOLS_TOOL_WRAPPER") != nullptr && run.exit_code != 0 && one.exit_code == 0 &&
         run.console.empty() && run.errors.empty() && run.signatures.empty();
}

void expect_same_as_one_thread(const ChunksigFiles& files, const std::string& data, const char* name, bool pipe,
                               const std::vector<std::string>& environment = {}, RunOptions run = RunOptions()) {
  const Outcome one = run_with(files, data, {}, environment, pipe, run);
  for (const auto& request : kThreadRequests) {
    std::vector<std::string> settings = environment;
    settings.insert(settings.end(), request.environment.begin(), request.environment.end());
    Outcome many = run_with(files, data, request.options, settings, pipe, run);
    if (emulator_lost_the_run(many, one)) {
      std::printf("note: the emulator ended a run with nothing written; running it once more\n");
      many = run_with(files, data, request.options, settings, pipe, run);
    }
    const std::string label = std::string(name) + (pipe ? " (pipe) " : " ") + testing::PrintToString(request.options) +
                              testing::PrintToString(settings);
    EXPECT_EQ(many.exit_code, one.exit_code) << label;
    EXPECT_EQ(many.console, one.console) << label;
    EXPECT_EQ(many.errors, one.errors) << label;
    EXPECT_TRUE(many.signatures == one.signatures) << label << ": " << many.signatures.size() << " bytes, not "
                                                   << one.signatures.size();
  }
}

std::string text_bytes(std::size_t size) {
  static const char kWords[][8] = {"the ", "chunk ", "ends ", "where ", "a ", "window ", "says\n", "so, "};
  std::mt19937 random(11);
  std::string text;
  while (text.size() < size) text += kWords[random() % 8];
  text.resize(size);
  return text;
}

// Segments of every kind over `reach` bytes: gaps, overlaps, segments that
// bring nothing, one-byte segments; more of them than one read of the list.
std::string random_segments(std::uint32_t seed, std::uint64_t reach, int count) {
  std::mt19937 random(seed);
  std::string segments;
  std::uint64_t ofs = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t len = random() % 4 == 0 ? 1 : random() % (2 * reach / count);
    segments += segment(len, ofs);
    ofs += len + random() % 50;
    if (random() % 6 == 0) segments += segment(random() % 300, ofs - random() % (ofs + 1));
  }
  return segments;
}

std::string consecutive_segments(std::uint64_t total, std::uint32_t each) {
  std::string segments;
  for (std::uint64_t ofs = 0; ofs < total; ofs += each) segments += segment(each, ofs);
  return segments;
}

TEST(KernelChunksigJobs, SameAsOneThread) {
  if (const char* why = threads_untestable()) GTEST_SKIP() << why;
  const std::string random = random_bytes(1500000, 31), zeros(2200000, '\0'), text = text_bytes(900000);
  const struct {
    const char* name;
    std::uint64_t fptr;
    const std::string& data;
    std::string segments;
    bool pipe_too;
  } cases[] = {
      {"random, one segment", 0, random, segment(1500000, 0), true},
      {"zeros: cuts forced across blocks", 0, zeros, segment(2200000, 0), false},
      {"text", 0, text, segment(900000, 0), false},
      {"4 KiB segments", 0, random, consecutive_segments(1500000, 4096), false},
      {"one-byte segments", 0, text, consecutive_segments(6000, 1) + segment(300000, 6000), false},
      {"segments of every kind, over several reads of the list", 0, random, random_segments(5, 1400000, 9000),
       true},
      {"data ends early", 300, text, segment(800000, 0) + segment(500000, 900000), true},
      {"empty data", 0, "", segment(300000, 0), false},
      {"start beyond 4 GiB", k4GiB + 5, random, segment(1400000, k4GiB), false},
  };
  for (const auto& c : cases) {
    const ChunksigFiles files(c.fptr, c.data, c.segments);
    expect_same_as_one_thread(files, c.data, c.name, false);
    if (c.pipe_too) expect_same_as_one_thread(files, c.data, c.name, true);
  }
  // Stopped where the data first runs short, with the same records and reason.
  const ChunksigFiles short_data(0, text, segment(700000, 0) + segment(400000, 800000) + segment(5, 1300000));
  expect_same_as_one_thread(short_data, text, "strict, data ends early", false, {"CHUNKTOOLS_STRICT=1"});
  expect_same_as_one_thread(short_data, text, "strict, data ends early", true, {"CHUNKTOOLS_STRICT=1"});
  // The model agrees with one thread here too, so the runs above compare
  // against a known answer.
  const ChunksigFiles files(0, random, random_segments(7, 1400000, 5000));
  const Outcome many = run_with(files, random, {"-j3"}, {}, false);
  const ChunksigOutput expected = reference_chunksig(0, random, random_segments(7, 1400000, 5000));
  EXPECT_EQ(many.console, expected.console);
  EXPECT_TRUE(many.signatures == expected.signatures);
}

// Failures end the run as one thread ends it: the records before kept whole,
// the same reason.
TEST(ChunksigJobs, FailuresAsWithOneThread) {
  if (const char* why = threads_untestable()) GTEST_SKIP() << why;
  const std::string data = random_bytes(1200000, 41);
  const ChunksigFiles files(0, data, segment(1200000, 0));
  RunOptions limited;
  limited.file_size_limit = 20000;  // the signature file stops growing partway
  expect_same_as_one_thread(files, data, "file-size limit", false, {}, limited);
  RunOptions full;
  full.console = Console::kDevFull;
  expect_same_as_one_thread(files, data, "console full", false, {}, full);
  // A data file whose reads fail.
  const ChunksigFiles unreadable(0, "", segment(600, 0));
  const Outcome one = run_with(unreadable, "", {}, {}, false);
  write_file(unreadable.segments, segment(600, 0));
  std::vector<std::string> args = {"-j2", unreadable.base, "/proc/self/mem", unreadable.segments,
                                    unreadable.signatures};
  RunOptions verbose;
  verbose.environment = {kVerbose};
  const RunResult many = run_tool(kChunksig, args, verbose);
  args.erase(args.begin());
  const RunResult single = run_tool(kChunksig, args, verbose);
  EXPECT_EQ(one.exit_code, 0);
  EXPECT_EQ(many.exit_code, 1);
  EXPECT_EQ(many.console, single.console);
  EXPECT_EQ(many.errors, single.errors);
}

// The records of `signatures` of the chunks that end by `offset` (a record:
// two CRCs of 4 bytes, then the length in 2 bytes, least significant first).
std::string records_ending_by(const std::string& signatures, std::uint64_t offset) {
  std::uint64_t end = 0;
  std::size_t kept = 0;
  for (; kept + 10 <= signatures.size(); kept += 10) {
    end += static_cast<unsigned char>(signatures[kept + 8]) | static_cast<unsigned char>(signatures[kept + 9]) << 8;
    if (end > offset) break;
  }
  return signatures.substr(0, kept);
}

// A read that fails partway through the data file, as at a bad sector: the
// records of the chunks that end before it, whole, and the reason, as one
// thread writes them, whether the file is read side by side or, as a pipe,
// in order; the failure within the first block, and just past the start of
// the second (inside the bytes before it that its read brings).
TEST(ChunksigJobs, AReadFailingPartwayAsWithOneThread) {
  if (const char* why = threads_untestable()) GTEST_SKIP() << why;
  const std::string data = random_bytes(2500000, 43);
  const ChunksigFiles files(0, data, segment(2500000, 0));
  const std::string folder = std::filesystem::canonical(files.dir.root()).string();
  if (failing_reads_of(folder, 0).empty()) GTEST_SKIP() << "no read can be made to fail under Wine or qemu-user";
  const std::string whole = run_with(files, data, {}, {}, false).signatures;
  for (const std::uint64_t offset : {70000u, 1048576u + 20u}) {
    for (const bool pipe : {false, true}) {
      const std::string name = pipe ? "data.fifo" : "data";
      const std::vector<std::string> failing = failing_reads_of(folder + "/" + name, offset);
      const std::string label = "failing at " + std::to_string(offset);
      const Outcome one = run_with(files, data, {}, failing, pipe);
      EXPECT_EQ(one.exit_code, 1) << label;
      EXPECT_EQ(one.errors,
                "chunksig: cannot read data file '" + files.dir.path(name) + "': " + std::strerror(EIO) + "\n")
          << label;
      EXPECT_TRUE(one.signatures == records_ending_by(whole, offset))
          << label << ": " << one.signatures.size() << " bytes, not " << records_ending_by(whole, offset).size();
      expect_same_as_one_thread(files, data, label.c_str(), pipe, failing);
    }
  }
}

// How many threads: a number from 0 to 256, by option or setting; anything
// else is refused before a file is touched.
TEST(ChunksigJobs, BadRequestsRefused) {
  const ChunksigFiles files(0, cycling_bytes(700), segment(600, 0));
  const struct {
    std::vector<std::string> options;
    std::string setting;
    std::string reason;
  } cases[] = {
      {{"-jx"}, "", "chunksig: the number of threads must be 0 to 256, not 'x' (try 'chunksig --help')\n"},
      {{"-j", "257"}, "", "chunksig: the number of threads must be 0 to 256, not '257' (try 'chunksig --help')\n"},
      {{"--jobs="}, "", "chunksig: the number of threads must be 0 to 256, not '' (try 'chunksig --help')\n"},
      {{"-j", "-1"}, "", "chunksig: the number of threads must be 0 to 256, not '-1' (try 'chunksig --help')\n"},
      {{}, "CHUNKTOOLS_JOBS=many",
       "chunksig: CHUNKTOOLS_JOBS must be a number of threads, 0 to 256, not 'many' (try 'chunksig --help')\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.options;
    for (const std::string& path : files.args()) args.push_back(path);
    RunOptions options;
    options.environment = {kVerbose};
    if (!c.setting.empty()) options.environment.push_back(c.setting);
    const RunResult result = run_tool(kChunksig, args, options);
    EXPECT_EQ(result.exit_code, 1) << c.reason;
    EXPECT_EQ(result.console, "") << c.reason;
    EXPECT_EQ(result.errors, c.reason);
    EXPECT_NE(::access(files.signatures.c_str(), F_OK), 0) << c.reason;
  }
}

}  // namespace
