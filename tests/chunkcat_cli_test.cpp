// chunkcat run as a program, against the model (tests/reference_model.h):
// random lists of chunks in order, out of order, in adjacent runs and beyond
// the end of the data, from a file and through a pipe; the whole output, the
// exit code and the reason of every failure kind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

// Made on first use, as few cases of the program run at each start.
const std::string& data() {
  static const std::string bytes = random_bytes(300000, 21);
  return bytes;
}

// The line sigdump prints for the chunk of `length` bytes at `offset` of
// `data` (0xFF past its end).
std::string chunk_line(const std::string& data, std::uint64_t offset, std::uint32_t length) {
  std::string chunk, plus1;
  for (std::uint64_t i = offset; i < offset + length; ++i) chunk += i < data.size() ? data[i] : '\xFF';
  for (char c : chunk) plus1 += static_cast<char>(c + 1);
  char line[80];
  std::snprintf(line, sizeof line, "%llu %u %08X %08X\n", static_cast<unsigned long long>(offset), length,
                reference_crc32(plus1.data(), plus1.size()), reference_crc32(chunk.data(), chunk.size()));
  return line;
}

// A list of `count` chunks from `seed`: in order and adjacent (`adjacent`),
// or anywhere, some past the end of the data.
std::string random_list(std::uint32_t seed, int count, bool adjacent) {
  std::mt19937 random(seed);
  std::string list;
  std::uint64_t offset = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t length = 1 + random() % (random() % 4 == 0 ? 65535 : 700);
    if (!adjacent) offset = random() % (data().size() + 2000);
    list += chunk_line(data(), offset, length);
    offset += length;
  }
  return list;
}

// About 1.5 MiB of lines of short chunks anywhere in the data, every 997th
// with a tab and a CR: lines of both forms straddle the list's reads.
std::string many_short_lines(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string list;
  for (int i = 0; list.size() < 1536 * 1024; ++i) {
    std::string line = chunk_line(data(), random() % data().size(), 1 + random() % 64);
    if (i % 997 == 0) {
      line.replace(line.find(' '), 1, "\t");
      line.insert(line.size() - 1, "\r");
    }
    list += line;
  }
  return list;
}

struct ChunkcatRun {
  RunResult result;
  std::string bytes;  // standard output
};

// chunkcat over DATA (through a FIFO when `pipe`) and the list in a file.
ChunkcatRun run_chunkcat(const ScratchDir& dir, const std::string& data, const std::string& list, bool pipe,
                 RunOptions options = RunOptions()) {
  write_file(dir.path("list"), list);
  std::string data_path = dir.path("data");
  std::thread writer;
  if (pipe) {
    data_path = dir.path("data.fifo");
    writer = feed_fifo(data_path, data);
  } else {
    write_file(data_path, data);
  }
  options.console = Console::kAppendToFile;
  options.console_file = dir.path("out");
  write_file(options.console_file, "");
  ChunkcatRun run{run_tool(tool_path("chunkcat"), {data_path, dir.path("list")}, options), ""};
  if (writer.joinable()) writer.join();
  run.bytes = read_file(dir.path("out"));
  return run;
}

TEST(KernelChunkcat, RandomListsAgainstTheModel) {
  const struct {
    const char* name;
    std::string list;
    bool through_pipe;
  } cases[] = {
      {"in order, adjacent", random_list(1, 400, true), false},
      {"anywhere, some past the end", random_list(2, 300, false), false},
      {"adjacent, through a pipe", random_list(3, 400, true), true},
      {"more lines than one read of the list takes, some in another form", many_short_lines(4), false},
      {"empty list", "", false},
      {"CR LF, tabs, lower case, no last newline", [] {
         std::string line = chunk_line(data(), 10, 20);
         line.replace(line.find(' '), 1, "\t ");
         for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
         line.insert(line.size() - 1, "\r");
         return line + chunk_line(data(), 5, 5).substr(0, chunk_line(data(), 5, 5).size() - 1);
       }(),
       false},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const ChunkcatRun run = run_chunkcat(dir, data(), c.list, c.through_pipe);
    const ChunkcatOutput expected = reference_chunkcat(data(), c.list, c.through_pipe);
    EXPECT_EQ(expected.exit_code, 0) << c.name;
    EXPECT_EQ(run.result.exit_code, expected.exit_code) << c.name;
    EXPECT_TRUE(run.bytes == expected.bytes) << c.name << ": " << run.bytes.size() << " bytes, not "
                                             << expected.bytes.size();
    EXPECT_EQ(run.result.errors, "") << c.name;
  }
  // Every chunk of a signature file gives the file back.
  ScratchDir dir;
  std::string all;
  for (std::uint64_t offset = 0; offset < data().size(); offset += 4096) all += chunk_line(data(), offset, 4096);
  EXPECT_TRUE(run_chunkcat(dir, data(), all, false).bytes == data().substr(0, 300000) + std::string(3104, '\xFF'));
}

// Every kind of failure: the chunks before it written whole, exit code 1, and
// the one reason under CHUNKTOOLS_VERBOSE.
TEST(Chunkcat, FailuresKeepTheChunksBefore) {
  const std::string good = chunk_line(data(), 100, 50) + chunk_line(data(), 0, 10);
  std::string other = data();
  other[105] = static_cast<char>(other[105] ^ 1);  // a data file one byte different
  const std::string long_list = many_short_lines(5);
  const struct {
    const char* name;
    std::string data;
    std::string list;
    bool pipe;
    std::string written;
    std::string problem;  // after "chunkcat: list '.../list' line N: "
  } cases[] = {
      {"mismatch", other, chunk_line(data(), 0, 10) + chunk_line(data(), 100, 50), false, data().substr(0, 10),
       "line 2: the 50 bytes at offset 100 of DATA have the CRCs %CRCS%"},
      {"three fields", data(), good + "1 2 00000000\n", false, data().substr(100, 50) + data().substr(0, 10),
       "line 3: expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN"},
      {"five fields", data(), "1 2 00000000 00000000 x\n", false, "", "line 1: expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN"},
      {"not a number", data(), "1x 2 00000000 00000000\n", false, "", "line 1: expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN"},
      {"bad line after more than one read of the list", data(), long_list + "1 2 00000000\n", false,
       reference_chunkcat(data(), long_list, false).bytes,
       "line " + std::to_string(std::count(long_list.begin(), long_list.end(), '\n') + 1) +
           ": expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN"},
      {"blank line", data(), good + "\n", false, data().substr(100, 50) + data().substr(0, 10),
       "line 3: expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN"},
      {"length 0", data(), "1 0 00000000 00000000\n", false, "", "line 1: length out of range (1 to 65535)"},
      {"length 65536", data(), "1 65536 00000000 00000000\n", false, "", "line 1: length out of range (1 to 65535)"},
      {"offset too large", data(), "18446744073709551616 1 00000000 00000000\n", false, "",
       "line 1: offset out of range (0 to 18446744073709551615)"},
      {"end too large", data(), "18446744073709551615 1 00000000 00000000\n", false, "",
       "line 1: the chunk ends beyond offset 18446744073709551615"},
      {"short crc", data(), "1 1 0000000 00000000\n", false, "", "line 1: CRC_PLUS1 is not 8 hexadecimal digits"},
      {"crc not hex", data(), "1 1 00000000 0000000G\n", false, "", "line 1: CRC_PLAIN is not 8 hexadecimal digits"},
      {"backwards through a pipe", data(), good, true, data().substr(100, 50),
       "line 2: the chunk starts before the end of the one before, and DATA is a pipe, read once: its lines must "
       "go forward"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    RunOptions verbose;
    verbose.environment = {kVerbose};
    const ChunkcatRun run = run_chunkcat(dir, c.data, c.list, c.pipe, verbose);
    EXPECT_EQ(run.result.exit_code, 1) << c.name;
    EXPECT_TRUE(run.bytes == c.written) << c.name;
    EXPECT_EQ(reference_chunkcat(c.data, c.list, c.pipe).bytes, c.written) << c.name;
    std::string problem = c.problem;
    if (problem.find("%CRCS%") != std::string::npos) {
      const std::string line = chunk_line(other, 100, 50), listed = chunk_line(data(), 100, 50);
      problem.replace(problem.find("%CRCS%"), 6,
                      line.substr(7, 17) + ", not " + listed.substr(7, 17));
    }
    EXPECT_EQ(run.result.errors, "chunkcat: list '" + dir.path("list") + "' " + problem + "\n") << c.name;
  }
}

// Bytes past the end of DATA are 0xFF; a warning under CHUNKTOOLS_VERBOSE,
// a failure under CHUNKTOOLS_STRICT that writes the chunks before.
TEST(Chunkcat, ChunksPastTheEnd) {
  const std::string list = chunk_line(data(), 0, 100) + chunk_line(data(), 299990, 20);
  for (const bool strict : {false, true}) {
    ScratchDir dir;
    RunOptions options;
    options.environment = {kVerbose};
    if (strict) options.environment.push_back("CHUNKTOOLS_STRICT=1");
    const ChunkcatRun run = run_chunkcat(dir, data(), list, false, options);
    EXPECT_EQ(run.result.exit_code, strict ? 1 : 0);
    EXPECT_TRUE(run.bytes == data().substr(0, 100) + (strict ? "" : data().substr(299990) + std::string(10, '\xFF')));
    const std::string file = "data file '" + dir.path("data") + "'";
    EXPECT_EQ(run.result.errors,
              strict ? "chunkcat: " + file + " lacks the bytes from stream position 300000 on, which the list's "
                                             "chunks reach\n"
                     : "chunkcat: warning: " + file + " lacks 10 bytes the list's chunks reach, from stream position "
                                                      "300000 on: taken as 0xFF bytes\n");
  }
}

// Binary data is never written to a terminal; standard output that is the
// data or the list is refused too.
TEST(Chunkcat, RefusedOutputs) {
  if (under_wine()) GTEST_SKIP() << "a Windows program under Wine has no console on a pseudo-terminal";
  ScratchDir dir;
  write_file(dir.path("data"), data());
  write_file(dir.path("list"), chunk_line(data(), 0, 10));
  RunOptions terminal;
  terminal.console = Console::kTerminal;
  terminal.environment = {kVerbose};
  RunResult result = run_tool(tool_path("chunkcat"), {dir.path("data"), dir.path("list")}, terminal);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.errors,
            "chunkcat: refusing to run: standard output is a terminal; send the chunks' bytes to a file or a pipe\r\n");
  for (const char* name : {"data", "list"}) {
    RunOptions into;
    into.console = Console::kAppendToFile;
    into.console_file = dir.path(name);
    into.environment = {kVerbose};
    result = run_tool(tool_path("chunkcat"), {dir.path("data"), dir.path("list")}, into);
    EXPECT_EQ(result.exit_code, 1) << name;
    EXPECT_EQ(result.errors, std::string("chunkcat: refusing to run: standard output is the ") +
                                 (name[0] == 'd' ? "data file" : "list") + " '" + dir.path(name) + "'\n");
  }
  EXPECT_EQ(read_file(dir.path("data")), data());
}

}  // namespace
