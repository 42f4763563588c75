// The fault matrix: bad arguments, odd files and failing devices in every
// position. Each case checks the exit code, the whole console output and the
// bytes of every file in the scratch folder, before and after the run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

const std::string kData = cycling_bytes(700);
const std::string kSegments = segment(600, 0);
const ChunksigOutput kExpected = reference_chunksig(0, kData, kSegments);
const std::string kEntry = cycling_bytes(40);
const std::string kSignatureRecord = cycling_bytes(10);
const std::string kSignatureLine = "0 2312 03020100 07060504\n";
const std::string kEntryLine =
    "level: 5; size: 04 03020100; attr: 0706; t_cr: 0F0E0D0C0B0A0908; t_cr: 1716151413121110; "
    "crc0: 1B1A1918; crc1: 1F1E1D1C; sofs: 23222120; slen: 27262524; \n";

// Runs a tool in `folder` and checks the exit code, the console, that nothing
// went to standard error, and that every file there is as before, apart from
// `changed` (name and expected bytes).
void expect_run(const std::string& folder, const std::string& tool, const std::vector<std::string>& args, int exit_code,
                const std::string& console,
                const std::optional<std::pair<std::string, std::string>>& changed = std::nullopt,
                const RunOptions& options = RunOptions()) {
  std::map<std::string, std::string> expected_files = snapshot_files(folder);
  if (changed) expected_files[changed->first] = changed->second;
  const RunResult result = run_tool(tool, args, options);
  EXPECT_EQ(result.exit_code, exit_code) << testing::PrintToString(args);
  EXPECT_EQ(result.console, console) << testing::PrintToString(args);
  EXPECT_EQ(result.errors, "") << testing::PrintToString(args);
  EXPECT_EQ(snapshot_files(folder), expected_files) << testing::PrintToString(args);
}

std::pair<std::string, std::string> signatures_become(const std::string& bytes) {
  return {"signatures", bytes};
}

// A missing path, a path under a missing folder, or a directory, in each
// position, and too few arguments: exit code 1, nothing printed, an existing
// signature file untouched.
TEST(FaultMatrix, UnopenablePathInEveryPosition) {
  ChunksigFiles files(0, kData, kSegments);
  write_file(files.signatures, "existing");
  ASSERT_EQ(::mkdir(files.dir.path("folder").c_str(), 0755), 0);
  for (const std::string& bad : {files.dir.path("missing"), files.dir.path("missing/file"),
                                 files.dir.path("folder")}) {
    // A missing signature file is simply created.
    const std::size_t positions = bad == files.dir.path("missing") ? 3 : 4;
    for (std::size_t position = 0; position < positions; ++position) {
      std::vector<std::string> args = files.args();
      args[position] = bad;
      expect_run(files.dir.root(), tool_path("chunksig"), args, 1, "");
    }
    expect_run(files.dir.root(), tool_path("idxdump"), {bad}, 1, "");
    expect_run(files.dir.root(), tool_path("sigdump"), {bad}, 1, "");
  }
  // No argument at all prints the usage (usage_cli_test.cpp); too few of
  // them is a quiet failure like any other.
  const std::vector<std::string> all = files.args();
  for (std::size_t count = 1; count < 4; ++count) {
    const std::vector<std::string> args(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
    expect_run(files.dir.root(), tool_path("chunksig"), args, 1, "");
  }
}

TEST(FaultMatrix, EmptyFileInEveryPosition) {
  ChunksigFiles files(0, kData, kSegments);
  const std::string empty = files.dir.path("empty");
  write_file(empty, "");
  write_file(files.signatures, "");
  std::vector<std::string> args = files.args();
  args[0] = empty;  // start position 0
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, kExpected.console,
             signatures_become(kExpected.signatures));
  args = files.args();
  args[1] = empty;  // every byte missing, so hashed as 0xFF
  const ChunksigOutput all_missing = reference_chunksig(0, "", kSegments);
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, all_missing.console,
             signatures_become(all_missing.signatures));
  args = files.args();
  args[2] = empty;
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, "fptr=0\n", signatures_become(""));
  expect_run(files.dir.root(), tool_path("idxdump"), {empty}, 0, "");
  expect_run(files.dir.root(), tool_path("sigdump"), {empty}, 0, "");
}

TEST(FaultMatrix, DevNullInEveryPosition) {
  ChunksigFiles files(0, kData, kSegments);
  std::vector<std::string> args = files.args();
  args[0] = "/dev/null";
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, kExpected.console,
             signatures_become(kExpected.signatures));
  args = files.args();
  args[1] = "/dev/null";
  const ChunksigOutput all_missing = reference_chunksig(0, "", kSegments);
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, all_missing.console,
             signatures_become(all_missing.signatures));
  args = files.args();
  args[2] = "/dev/null";
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, "fptr=0\n", signatures_become(""));
  args = files.args();
  args[3] = "/dev/null";
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, kExpected.console);
  // Start at 0 and keep no signatures: the same device as base and signature
  // file loses nothing.
  args[0] = "/dev/null";
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, kExpected.console);
  expect_run(files.dir.root(), tool_path("idxdump"), {"/dev/null"}, 0, "");
  expect_run(files.dir.root(), tool_path("sigdump"), {"/dev/null"}, 0, "");
}

// A base file with no size (a FIFO here, a pipe from <(...) in a shell) gives
// no start position: exit code 1 before the data file is opened, and an
// existing signature file untouched.
TEST(FaultMatrix, BaseFileWithoutASize) {
  ChunksigFiles files(0, kData, kSegments);
  write_file(files.signatures, "existing");
  const std::string fifo = files.dir.path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  std::vector<std::string> args = files.args();
  args[0] = fifo;
  args[1] = fifo;  // were it opened, the data file would wait for bytes forever
  expect_run(files.dir.root(), tool_path("chunksig"), args, 1, "");
  ::close(fd);
}

// Standard output is never an input, nor the signature file: a run that would
// read its own output back, or mix it with the records, ends with exit code 1
// before it reads or writes anything. Devices are never refused.
TEST(FaultMatrix, StandardOutputIsNeverAnInput) {
  ChunksigFiles files(0, kData, kSegments);
  write_file(files.signatures, "existing");
  const std::string index = files.dir.path("index");
  write_file(index, kEntry);
  RunOptions to_file;
  to_file.console = Console::kAppendToFile;
  std::vector<std::string> args = files.args();
  // Wine gives an inherited standard handle no volume, so there the tools
  // cannot see what it is.
  if (!under_wine()) {
    for (std::size_t position = 0; position < 4; ++position) {
      to_file.console_file = files.args()[position];
      expect_run(files.dir.root(), tool_path("chunksig"), files.args(), 1, "", std::nullopt, to_file);
    }
    args[3] = "/dev/stdout";
    to_file.console_file = files.dir.path("console");
    write_file(to_file.console_file, "");
    expect_run(files.dir.root(), tool_path("chunksig"), args, 1, "", std::nullopt, to_file);
    to_file.console_file = index;
    expect_run(files.dir.root(), tool_path("idxdump"), {index}, 1, "", std::nullopt, to_file);
    to_file.console_file = files.signatures;
    expect_run(files.dir.root(), tool_path("sigdump"), {files.signatures}, 1, "", std::nullopt, to_file);
  }

  // A console file of its own takes the usual output.
  to_file.console_file = files.dir.path("console");
  write_file(files.signatures, kExpected.signatures);  // written again, the same
  expect_run(files.dir.root(), tool_path("chunksig"), files.args(), 0, "",
             std::make_pair(std::string("console"), console_file_bytes(kExpected.console)), to_file);
  RunOptions to_null = to_file;
  to_null.console_file = "/dev/null";
  args = files.args();
  args[3] = "/dev/stdout";
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, "", std::nullopt, to_null);
}

// 1 to 9 bytes after the last whole segment or signature record, 1 to 39
// after the last whole index entry: ignored, and a normal end.
TEST(FaultMatrix, PartialTrailingRecords) {
  for (std::size_t extra = 1; extra < 40; ++extra) {
    const std::string tail(extra, '\x5A');
    if (extra < 10) {
      ChunksigFiles files(0, kData, kSegments + tail);
      expect_run(files.dir.root(), tool_path("chunksig"), files.args(), 0, kExpected.console,
                 signatures_become(kExpected.signatures));
      write_file(files.dir.path("partial.sig"), kSignatureRecord + tail);
      expect_run(files.dir.root(), tool_path("sigdump"), {files.dir.path("partial.sig")}, 0, kSignatureLine);
    }
    ScratchDir dir;
    write_file(dir.path("index"), kEntry + tail);
    expect_run(dir.root(), tool_path("idxdump"), {dir.path("index")}, 0, kEntryLine);
  }
}

// A data file that is a pipe: exactly the bytes the segments need are read.
// The pipe stays open for writing, so a read beyond them would never return.
TEST(KernelFaultMatrix, FifoAsDataIsConsumedExactly) {
  ChunksigFiles files(0, "", kSegments);
  const std::string fifo = files.dir.path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  const std::string beyond = "bytes no segment needs";
  const std::string written = kData.substr(0, 600) + beyond;
  ASSERT_EQ(::write(fd, written.data(), written.size()), static_cast<ssize_t>(written.size()));
  std::vector<std::string> args = files.args();
  args[1] = fifo;
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, kExpected.console,
             signatures_become(kExpected.signatures));
  char left[64];
  const ssize_t got = ::read(fd, left, sizeof left);
  ASSERT_GT(got, 0);
  EXPECT_EQ(std::string(left, static_cast<std::size_t>(got)), beyond);
  ::close(fd);
}

// Writes `bytes` into the pipe at `path` in small pieces with pauses, so that
// records arrive split, then closes it.
std::thread feed_in_pieces(const std::string& path, const std::string& bytes) {
  return std::thread([path, bytes] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    for (std::size_t at = 0; fd >= 0 && at < bytes.size(); at += 7) {
      if (::write(fd, bytes.data() + at, std::min<std::size_t>(7, bytes.size() - at)) < 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (fd >= 0) ::close(fd);
  });
}

TEST(FaultMatrix, FifoAsSegmentListIndexAndSignatureFile) {
  ChunksigFiles files(0, kData, kSegments);
  const std::string fifo = files.dir.path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::string segments = segment(100, 0) + segment(200, 100) + segment(300, 300) + "\1\2\3";
  const ChunksigOutput expected = reference_chunksig(0, kData, segments);
  std::vector<std::string> args = files.args();
  args[2] = fifo;
  std::thread feeder = feed_in_pieces(fifo, segments);
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, expected.console,
             signatures_become(expected.signatures));
  feeder.join();

  feeder = feed_in_pieces(fifo, kEntry + kEntry + "\1\2");
  expect_run(files.dir.root(), tool_path("idxdump"), {fifo}, 0, kEntryLine + kEntryLine);
  feeder.join();

  feeder = feed_in_pieces(fifo, kSignatureRecord + "\1\2");
  expect_run(files.dir.root(), tool_path("sigdump"), {fifo}, 0, kSignatureLine);
  feeder.join();

  std::string received;
  std::thread drain([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    char buffer[256];
    for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0;) received.append(buffer, got);
    if (fd >= 0) ::close(fd);
  });
  args = files.args();
  args[3] = fifo;
  expect_run(files.dir.root(), tool_path("chunksig"), args, 0, kExpected.console);
  drain.join();
  EXPECT_EQ(received, kExpected.signatures);
}

// An output that cannot take every record: exit code 1 at once, and the whole
// records written before the failure stay, never part of one, wherever in a
// record the limit falls (a write past the file-size limit fails with EFBIG;
// the signal that would end the process is ignored). For chunksig's signature
// file and both lists seglist writes.
TEST(KernelFaultMatrix, WholeRecordsAtEveryFileSizeLimit) {
  ChunksigFiles files(0, kData, kSegments);
  std::vector<std::string> args = files.args();
  args[3] = "/dev/full";
  expect_run(files.dir.root(), tool_path("chunksig"), args, 1, kExpected.console);

  const std::string covered = files.dir.path("covered"), text = files.dir.path("segments.txt");
  write_file(covered, std::string(400, 'c'));
  std::string text_lines, text_records, cover_records;
  for (std::uint32_t i = 0; i < 40; ++i) {
    text_lines += std::to_string(i * 7) + " " + std::to_string(i + 1) + "\n";
    text_records += segment(i + 1, i * 7);
    cover_records += segment(10, i * 10);
  }
  write_file(text, text_lines);
  const struct {
    const char* name;
    std::string tool;
    std::vector<std::string> args;
    std::string output_name;
    std::string output;  // what an unlimited run writes
    std::string console;
  } outputs[] = {
      {"chunksig", tool_path("chunksig"), files.args(), "signatures", kExpected.signatures, kExpected.console},
      {"seglist cover", tool_path("seglist"), {"cover", covered, files.dir.path("cover.segs"), "10"}, "cover.segs",
       cover_records, ""},
      {"seglist text", tool_path("seglist"), {"text", text, files.dir.path("text.segs")}, "text.segs", text_records,
       ""},
  };
  for (const auto& output : outputs) {
    ASSERT_GE(output.output.size(), 40u) << output.name;
    for (std::size_t limit = 0; limit <= 35; ++limit) {
      write_file(files.dir.path(output.output_name), "");
      RunOptions limited;
      limited.file_size_limit = static_cast<long long>(limit);
      expect_run(files.dir.root(), output.tool, output.args, 1, output.console,
                 std::make_pair(output.output_name, output.output.substr(0, limit / 10 * 10)), limited);
    }
    RunOptions exact;
    exact.file_size_limit = static_cast<long long>(output.output.size());
    expect_run(files.dir.root(), output.tool, output.args, 0, output.console,
               std::make_pair(output.output_name, output.output), exact);
  }
}

// Console text past the file-size limit: exit code 1, and the file keeps what
// fitted.
TEST(FaultMatrix, ConsoleFileBeyondTheSizeLimit) {
  ChunksigFiles files(0, kData, kSegments);
  const std::string index = files.dir.path("index");
  write_file(index, kEntry + kEntry + kEntry);
  RunOptions limited;
  limited.console = Console::kAppendToFile;
  limited.console_file = files.dir.path("console");
  std::vector<std::string> args = files.args();
  args[3] = "/dev/null";  // no limit on a device
  for (long long limit : {0LL, 7LL, 30LL}) {
    write_file(limited.console_file, "");
    limited.file_size_limit = limit;
    const std::size_t kept = static_cast<std::size_t>(limit);
    expect_run(files.dir.root(), tool_path("chunksig"), args, 1, "",
               std::make_pair(std::string("console"), console_file_bytes(kExpected.console).substr(0, kept)),
               limited);
    write_file(limited.console_file, "");
    expect_run(files.dir.root(), tool_path("idxdump"), {index}, 1, "",
               std::make_pair(std::string("console"),
                              console_file_bytes(kEntryLine + kEntryLine + kEntryLine).substr(0, kept)),
               limited);
  }
}

// A close that fails loses data on some file systems: a failed close of the
// signature file or of standard output fails the run. Everything else is as
// in a good run.
TEST(FaultMatrix, FailedCloses) {
  ChunksigFiles files(0, kData, kSegments);
  const std::string index = files.dir.path("index");
  write_file(index, kEntry);
  RunOptions signature_close, console_close;
  signature_close.environment =
      failing_close_of(std::filesystem::canonical(files.dir.root()).string() + "/signatures");
  console_close.environment = failing_close_of("stdout");
  if (signature_close.environment.empty()) GTEST_SKIP() << "no LD_PRELOAD under Wine";
  for (const RunOptions& options : {signature_close, console_close}) {
    ::unlink(files.signatures.c_str());
    expect_run(files.dir.root(), tool_path("chunksig"), files.args(), 1, kExpected.console,
               signatures_become(kExpected.signatures), options);
  }
  expect_run(files.dir.root(), tool_path("idxdump"), {index}, 1, kEntryLine, std::nullopt, console_close);
  expect_run(files.dir.root(), tool_path("idxdump"), {index}, 0, kEntryLine, std::nullopt, signature_close);
  write_file(files.signatures, kSignatureRecord);
  expect_run(files.dir.root(), tool_path("sigdump"), {files.signatures}, 1, kSignatureLine, std::nullopt,
             console_close);
}

// A data file with a hole reads as zeros there.
TEST(KernelFaultMatrix, DataFileWithAHole) {
  const std::string head = random_bytes(300, 9), tail = random_bytes(300, 10);
  const std::size_t hole = 1 << 20;
  std::string data = head;
  data.resize(head.size() + hole, '\0');
  data += tail;
  const std::string segments = segment(200, 0) + segment(static_cast<std::uint32_t>(data.size()), 100);
  ChunksigFiles files(0, head, segments);
  ASSERT_EQ(::truncate(files.data.c_str(), static_cast<off_t>(head.size() + hole)), 0);
  std::ofstream(files.data, std::ios::binary | std::ios::app) << tail;
  const ChunksigOutput expected = reference_chunksig(0, data, segments);
  expect_run(files.dir.root(), tool_path("chunksig"), files.args(), 0, expected.console,
             signatures_become(expected.signatures));
}

// Start positions, segment ends and spans beyond 32 bits. The expected records
// of long 0xFF runs come from their closed form: 0xFF bytes never meet the
// threshold, so they make chunks of 65535 bytes.
TEST(KernelFaultMatrix, FiveGiBStartPosition) {
  const std::uint64_t five_gib = std::uint64_t{5} << 30;
  const std::string data = random_bytes(1000, 11);
  const std::string segments =
      segment(4000, 0) + segment(300, five_gib) + segment(200, five_gib + 500) + segment(0, five_gib + 900);
  ChunksigFiles files(five_gib, data, segments);
  const ChunksigOutput expected = reference_chunksig(five_gib, data, segments);
  ASSERT_EQ(expected.console.substr(0, 16), "fptr=5368709120\n");
  expect_run(files.dir.root(), tool_path("chunksig"), files.args(), 0, expected.console,
             signatures_become(expected.signatures));
}

TEST(KernelFaultMatrix, SpanJustOver4GiB) {
  ChunksigFiles files(0, "", segment(0xFFFFFFFF, 2));
  std::string expected;
  const std::string full = reference_signature(std::string(65535, '\xFF'));
  for (int i = 0; i < 65537; ++i) expected += full;
  expected += reference_signature("\xFF\xFF");
  expect_run(files.dir.root(), tool_path("chunksig"), files.args(), 0,
             "fptr=0\n00000001 00000001 FFFFFFFF 00000002 00000001 !!!\n", signatures_become(expected));
}

// Permissions do not stop root, so these run only for other users.
TEST(FaultMatrix, PermissionDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads and writes everything";
  ChunksigFiles files(0, kData, kSegments);
  ASSERT_EQ(::chmod(files.data.c_str(), 0), 0);
  expect_run(files.dir.root(), tool_path("chunksig"), files.args(), 1, "");
  ASSERT_EQ(::chmod(files.data.c_str(), 0644), 0);
  const std::string locked = files.dir.path("locked");
  ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
  std::vector<std::string> args = files.args();
  args[3] = locked + "/signatures";
  expect_run(files.dir.root(), tool_path("chunksig"), args, 1, "");
}

}  // namespace
