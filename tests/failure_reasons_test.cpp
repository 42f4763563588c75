// Every way a run can fail, run twice: quietly, and with CHUNKTOOLS_VERBOSE
// asking for the reason. Both runs give the same exit code and the same
// standard output; only the verbose one writes to standard error, and then
// exactly one line naming the tool, the argument, the operation and the
// system's reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

const std::string kData = cycling_bytes(700);
const std::string kSegments = segment(600, 0);
const std::string kTrace = "fptr=0\n00000258 00000258 00000258 00000000 00000258 !!!\n";

struct Failure {
  std::string tool;
  std::vector<std::string> args;
  RunOptions options;
  std::string console;  // standard output, the same with and without the reason
  std::string reason;   // the line on standard error, without its newline
  int system_error;     // the errno whose text ends the line, or 0 for none
  int exit_code = 1;    // sigdiff fails with 2
};

// A scratch folder with chunksig's inputs and an index file.
struct Files : ChunksigFiles {
  std::string index = dir.path("index");
  Files() : ChunksigFiles(0, kData, kSegments) { write_file(index, cycling_bytes(80)); }
  std::vector<std::string> with(std::size_t position, const std::string& path) const {
    std::vector<std::string> changed = args();
    changed[position] = path;
    return changed;
  }
  std::string canonical(const std::string& path) const { return std::filesystem::canonical(path).string(); }
};

std::string quoted(const std::string& path) { return "'" + path + "'"; }

struct ReasonCase {
  const char* name;
  std::function<Failure(const Files&)> make;
};

void PrintTo(const ReasonCase& c, std::ostream* os) { *os << c.name; }

RunOptions with_console(Console console) {
  RunOptions options;
  options.console = console;
  return options;
}

RunOptions with_environment(std::vector<std::string> environment) {
  RunOptions options;
  options.environment = std::move(environment);
  return options;
}

// sigdiff with a sparse new file of 10 GiB (1073741824 records) and a memory
// budget of 64 MiB: the marks of NEW's records alone (128 MiB) do not fit,
// which is known before anything is compared.
Failure budget_too_small(const Files& f, const std::string& old_file) {
  const std::string huge = f.dir.path("huge.sig");
  write_file(huge, "");
  if (::truncate(huge.c_str(), static_cast<off_t>(10) << 30) != 0) std::abort();
  return Failure{tool_path("sigdiff"), {old_file, huge}, with_environment({"CHUNKTOOLS_MEMORY=64M"}), "",
                 "sigdiff: cannot allocate 134217728 bytes for the marks of the new signature file's records "
                 "(CHUNKTOOLS_MEMORY is too small)",
                 0, 2};
}

const std::vector<ReasonCase> kCases = {
    {"ChunksigTooFewArguments",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), {f.base, f.data, f.segments}, {}, "",
                      "chunksig: too few arguments (usage: chunksig [-j N] BASE DATA SEGMENTS SIGNATURES)", 0};
     }},
    {"BaseMissing",
     [](const Files& f) {
       const std::string missing = f.dir.path("missing");
       return Failure{tool_path("chunksig"), f.with(0, missing), {}, "",
                      "chunksig: cannot open base file " + quoted(missing) + ": ", ENOENT};
     }},
    {"BaseIsAPipe",
     [](const Files& f) {
       const std::string fifo = f.dir.path("fifo");
       if (::mkfifo(fifo.c_str(), 0644) != 0) std::abort();
       // Held open for writing, so the tool's open does not wait for a writer;
       // the descriptor is left to the test process's end.
       ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
       return Failure{tool_path("chunksig"), f.with(0, fifo), {}, "",
                      "chunksig: cannot size base file " + quoted(fifo) + ": ", ESPIPE};
     }},
    {"BaseIsAFifoWithNoWriter",
     [](const Files& f) {
       const std::string fifo = f.dir.path("fifo");
       if (::mkfifo(fifo.c_str(), 0644) != 0) std::abort();
       RunOptions options;
       options.time_limit_seconds = 1;
       return Failure{tool_path("chunksig"), f.with(0, fifo), options, "",
                      "chunksig: cannot size base file " + quoted(fifo) + ": ", ESPIPE};
     }},
    {"NameWithANewline",
     [](const Files& f) {
       const std::string name = f.dir.path("no\nsuch");
       return Failure{tool_path("chunksig"), f.with(1, name), {}, "",
                      "chunksig: cannot open data file '" + f.dir.path("no\\012such") + "': ", ENOENT};
     }},
    {"NameWithTerminalEscapes",
     [](const Files& f) {
       // Control bytes become octal escapes; a backslash and UTF-8 pass as they
       // are. (Wine hands a Windows program its arguments in the ANSI code
       // page, so there the name keeps to ASCII.)
       const std::string utf8 = under_wine() ? "" : "caf\xc3\xa9";
       const std::string name = f.dir.path("\x1b[2J\x7f\\" + utf8 + "\t");
       return Failure{tool_path("sigdump"), {name}, {}, "",
                      "sigdump: cannot open signature file '" + f.dir.path("\\033[2J\\177\\" + utf8 + "\\011") +
                          "': ",
                      ENOENT};
     }},
    {"DataIsAFolder",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), f.with(1, f.dir.root()), {}, "",
                      "chunksig: cannot open data file " + quoted(f.dir.root()) + ": ", EISDIR};
     }},
    {"SegmentListMissing",
     [](const Files& f) {
       const std::string missing = f.dir.path("missing");
       return Failure{tool_path("chunksig"), f.with(2, missing), {}, "",
                      "chunksig: cannot open segment list " + quoted(missing) + ": ", ENOENT};
     }},
    {"SignatureFolderMissing",
     [](const Files& f) {
       const std::string missing = f.dir.path("missing/signatures");
       return Failure{tool_path("chunksig"), f.with(3, missing), {}, "",
                      "chunksig: cannot create signature file " + quoted(missing) + ": ", ENOENT};
     }},
    {"DataReadError",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), f.with(1, "/proc/self/mem"), {}, kTrace,
                      "chunksig: cannot read data file '/proc/self/mem': ", EIO};
     }},
    {"SegmentListReadError",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), f.with(2, "/proc/self/mem"), {}, "fptr=0\n",
                      "chunksig: cannot read segment list '/proc/self/mem': ", EIO};
     }},
    {"SignatureDeviceFull",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), f.with(3, "/dev/full"), {}, kTrace,
                      "chunksig: cannot write signature file '/dev/full': ", ENOSPC};
     }},
    {"SignatureBeyondFileSizeLimit",
     [](const Files& f) {
       RunOptions limited;
       limited.file_size_limit = 25;
       return Failure{tool_path("chunksig"), f.args(), limited, kTrace,
                      "chunksig: cannot write signature file " + quoted(f.signatures) + ": ", EFBIG};
     }},
    {"StrictPartialSegmentRecord",
     [](const Files& f) {
       write_file(f.dir.path("cut.segs"), kSegments + "abc");
       return Failure{tool_path("chunksig"), f.with(2, f.dir.path("cut.segs")),
                      with_environment({"CHUNKTOOLS_STRICT=1"}), kTrace,
                      "chunksig: segment list " + quoted(f.dir.path("cut.segs")) +
                          " ends in 3 bytes of a partial record, which cannot be taken",
                      0};
     }},
    {"StrictShortData",
     [](const Files& f) {
       write_file(f.dir.path("long.segs"), segment(800, 0));
       return Failure{tool_path("chunksig"), f.with(2, f.dir.path("long.segs")),
                      with_environment({"CHUNKTOOLS_STRICT=1"}),
                      "fptr=0\n00000320 00000320 00000320 00000000 00000320 !!!\n",
                      "chunksig: data file " + quoted(f.data) +
                          " lacks the bytes from stream position 700 on, which the segments reach",
                      0};
     }},
    {"StrictPartialSignatureRecordInOld",
     [](const Files& f) {
       write_file(f.dir.path("old.sig"), signature_record(1, 2, 3) + "x");
       return Failure{tool_path("sigdiff"), {f.dir.path("old.sig"), f.dir.path("old.sig")},
                      with_environment({"CHUNKTOOLS_STRICT=1"}), "",
                      "sigdiff: old signature file " + quoted(f.dir.path("old.sig")) +
                          " ends in 1 byte of a partial record, which cannot be taken",
                      0, 2};
     }},
    {"SeglistThirdFieldNotEnd",
     [](const Files& f) {
       write_file(f.dir.path("lines.txt"), "0 5 5\n1 2 4\n");
       return Failure{tool_path("seglist"), {"text", f.dir.path("lines.txt"), f.dir.path("lines.segs")}, {}, "",
                      "seglist: text file " + quoted(f.dir.path("lines.txt")) +
                          " line 2: third field is not END, OFFSET + LENGTH (3)",
                      0};
     }},
    {"SignatureCloseFails",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), f.args(), with_environment(failing_close_of(f.canonical(f.dir.root()) + "/signatures")),
                      kTrace, "chunksig: cannot close signature file " + quoted(f.signatures) + ": ", EIO};
     }},
    {"SignatureIsTheSegmentList",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), f.with(3, f.segments), {}, "",
                      "chunksig: refusing to overwrite: signature file " + quoted(f.segments) +
                          " is the segment list " + quoted(f.segments),
                      0};
     }},
    {"ChunksigConsoleFull",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), f.args(), with_console(Console::kDevFull), "",
                      "chunksig: cannot write standard output: ", ENOSPC};
     }},
    {"ChunksigConsoleCloseFails",
     [](const Files& f) {
       return Failure{tool_path("chunksig"), f.args(), with_environment(failing_close_of("stdout")), kTrace,
                      "chunksig: cannot close standard output: ", EIO};
     }},
    {"ConsoleIsTheDataFile",
     [](const Files& f) {
       RunOptions options = with_console(Console::kAppendToFile);
       options.console_file = f.data;
       return Failure{tool_path("chunksig"), f.args(), options, "",
                      "chunksig: refusing to run: standard output is the data file " + quoted(f.data), 0};
     }},
    {"IndexMissing",
     [](const Files& f) {
       const std::string missing = f.dir.path("missing");
       return Failure{tool_path("idxdump"), {missing}, {}, "",
                      "idxdump: cannot open index file " + quoted(missing) + ": ", ENOENT};
     }},
    {"IndexReadError",
     [](const Files&) {
       return Failure{tool_path("idxdump"), {"/proc/self/mem"}, {}, "",
                      "idxdump: cannot read index file '/proc/self/mem': ", EIO};
     }},
    {"IdxdumpConsoleFull",
     [](const Files& f) {
       return Failure{tool_path("idxdump"), {f.index}, with_console(Console::kDevFull), "",
                      "idxdump: cannot write standard output: ", ENOSPC};
     }},
    {"IdxdumpConsoleCloseFails",
     [](const Files& f) {
       return Failure{tool_path("idxdump"), {f.index}, with_environment(failing_close_of("stdout")),
                      "level: 5; size: 04 03020100; attr: 0706; t_cr: 0F0E0D0C0B0A0908; "
                      "t_cr: 1716151413121110; crc0: 1B1A1918; crc1: 1F1E1D1C; sofs: 23222120; "
                      "slen: 27262524; \n"
                      "level: 45; size: 2C 2B2A2928; attr: 2F2E; t_cr: 3736353433323130; "
                      "t_cr: 3F3E3D3C3B3A3938; crc0: 43424140; crc1: 47464544; sofs: 4B4A4948; "
                      "slen: 4F4E4D4C; \n",
                      "idxdump: cannot close standard output: ", EIO};
     }},
    {"SignatureFileMissing",
     [](const Files& f) {
       return Failure{tool_path("sigdump"), {f.signatures}, {}, "",
                      "sigdump: cannot open signature file " + quoted(f.signatures) + ": ", ENOENT};
     }},
    {"SignatureFileReadError",
     [](const Files&) {
       return Failure{tool_path("sigdump"), {"/proc/self/mem"}, {}, "",
                      "sigdump: cannot read signature file '/proc/self/mem': ", EIO};
     }},
    {"SigdumpConsoleFull",
     [](const Files& f) {
       return Failure{tool_path("sigdump"), {f.segments}, with_console(Console::kDevFull), "",
                      "sigdump: cannot write standard output: ", ENOSPC};
     }},
    {"SeglistUnknownForm",
     [](const Files& f) {
       return Failure{tool_path("seglist"), {"list", f.segments}, {}, "",
                      "seglist: unknown form 'list' (try 'seglist --help')", 0};
     }},
    {"SeglistCoverTooFewArguments",
     [](const Files& f) {
       return Failure{tool_path("seglist"), {"cover", f.data}, {}, "",
                      "seglist: too few arguments (usage: seglist cover FILE SEGMENTS [LENGTH])", 0};
     }},
    {"SeglistTextTooFewArguments",
     [](const Files& f) {
       return Failure{tool_path("seglist"), {"text", f.data}, {}, "",
                      "seglist: too few arguments (usage: seglist text TEXT SEGMENTS)", 0};
     }},
    {"SeglistShowTooFewArguments",
     [](const Files&) {
       return Failure{tool_path("seglist"), {"show"}, {}, "", "seglist: too few arguments (usage: seglist show SEGMENTS)", 0};
     }},
    {"SeglistLengthNotANumber",
     [](const Files& f) {
       return Failure{tool_path("seglist"), {"cover", f.data, f.dir.path("out"), "1e6"}, {}, "",
                      "seglist: LENGTH must be a decimal number from 1 to 4294967295, not '1e6' (try 'seglist --help')",
                      0};
     }},
    {"SeglistLengthTooLarge",
     [](const Files& f) {
       return Failure{tool_path("seglist"), {"cover", f.data, f.dir.path("out"), "4294967296"}, {}, "",
                      "seglist: LENGTH must be a decimal number from 1 to 4294967295, not '4294967296' (try "
                      "'seglist --help')",
                      0};
     }},
    {"SeglistCoveredFileMissing",
     [](const Files& f) {
       const std::string missing = f.dir.path("missing");
       return Failure{tool_path("seglist"), {"cover", missing, f.dir.path("out")}, {}, "",
                      "seglist: cannot open covered file " + quoted(missing) + ": ", ENOENT};
     }},
    {"SeglistCoverOntoTheCoveredFile",
     [](const Files& f) {
       return Failure{tool_path("seglist"), {"cover", f.data, f.data}, {}, "",
                      "seglist: refusing to overwrite: segment list " + quoted(f.data) + " is the covered file " +
                          quoted(f.data),
                      0};
     }},
    {"SeglistTextOntoItself",
     [](const Files& f) {
       return Failure{tool_path("seglist"), {"text", f.index, f.index}, {}, "",
                      "seglist: refusing to overwrite: segment list " + quoted(f.index) + " is the text file " +
                          quoted(f.index),
                      0};
     }},
    {"SeglistTextMissing",
     [](const Files& f) {
       const std::string missing = f.dir.path("missing");
       return Failure{tool_path("seglist"), {"text", missing, f.dir.path("out")}, {}, "",
                      "seglist: cannot open text file " + quoted(missing) + ": ", ENOENT};
     }},
    {"SeglistListFolderMissing",
     [](const Files& f) {
       const std::string out = f.dir.path("missing/out");
       return Failure{tool_path("seglist"), {"cover", f.data, out}, {}, "",
                      "seglist: cannot create segment list " + quoted(out) + ": ", ENOENT};
     }},
    {"SeglistShowMissing",
     [](const Files& f) {
       const std::string missing = f.dir.path("missing");
       return Failure{tool_path("seglist"), {"show", missing}, {}, "",
                      "seglist: cannot open segment list " + quoted(missing) + ": ", ENOENT};
     }},
    {"SigdiffTooFewArguments",
     [](const Files& f) {
       return Failure{tool_path("sigdiff"), {f.segments}, {}, "",
                      "sigdiff: too few arguments (usage: sigdiff [--summary] OLD... NEW)", 0, 2};
     }},
    {"SigdiffSummaryTooFewArguments",
     [](const Files& f) {
       return Failure{tool_path("sigdiff"), {"--summary", f.segments}, {}, "",
                      "sigdiff: too few arguments (usage: sigdiff [--summary] OLD... NEW)", 0, 2};
     }},
    {"SigdiffOldMissing",
     [](const Files& f) {
       const std::string missing = f.dir.path("missing");
       return Failure{tool_path("sigdiff"), {missing, f.segments}, {}, "",
                      "sigdiff: cannot open old signature file " + quoted(missing) + ": ", ENOENT, 2};
     }},
    {"SigdiffNewIsAFolder",
     [](const Files& f) {
       return Failure{tool_path("sigdiff"), {"--summary", f.segments, f.dir.root()}, {}, "",
                      "sigdiff: cannot open new signature file " + quoted(f.dir.root()) + ": ", EISDIR, 2};
     }},
    {"SigdiffConsoleIsTheNewFile",
     [](const Files& f) {
       RunOptions options = with_console(Console::kAppendToFile);
       options.console_file = f.index;
       return Failure{tool_path("sigdiff"), {f.segments, f.index}, options, "",
                      "sigdiff: refusing to run: standard output is the new signature file " + quoted(f.index), 0,
                      2};
     }},
    {"SigdiffConsoleFull",
     [](const Files& f) {
       return Failure{tool_path("sigdiff"), {f.segments, f.index}, with_console(Console::kDevFull), "",
                      "sigdiff: cannot write standard output: ", ENOSPC, 2};
     }},
    {"SigdiffBudgetTooSmallForNew",
     [](const Files& f) { return budget_too_small(f, f.index); }},
    {"SigdiffBudgetTooSmallForNewBesideAPipe",
     [](const Files& f) { return budget_too_small(f, "/dev/null"); }},
    {"SigdiffBudgetNotASize",
     [](const Files& f) {
       return Failure{tool_path("sigdiff"), {f.index, f.index}, with_environment({"CHUNKTOOLS_MEMORY=lots"}), "",
                      "sigdiff: CHUNKTOOLS_MEMORY must be a size of 4M or more, such as 512M or 2G, not 'lots' "
                      "(try 'sigdiff --help')",
                      0, 2};
     }},
    {"ConsoleIsTheIndexFile",
     [](const Files& f) {
       RunOptions options = with_console(Console::kAppendToFile);
       options.console_file = f.index;
       return Failure{tool_path("idxdump"), {f.index}, options, "",
                      "idxdump: refusing to run: standard output is the index file " + quoted(f.index), 0};
     }},
};

class FailureReasons : public testing::TestWithParam<ReasonCase> {};

TEST_P(FailureReasons, OneLineOnRequestAndNothingOtherwise) {
  const Files files;
  const Failure failure = GetParam().make(files);
  const bool injects_close = failure.reason.find("cannot close") != std::string::npos;
  if (injects_close && failure.options.environment.empty()) GTEST_SKIP() << "no LD_PRELOAD under Wine";
  if (failure.options.console == Console::kAppendToFile && under_wine()) {
    GTEST_SKIP() << "Wine gives an inherited standard handle no volume";
  }
  for (const bool asked : {false, true}) {
    RunOptions options = failure.options;
    if (asked) options.environment.push_back(kVerbose);
    const RunResult result = run_tool(failure.tool, failure.args, options);
    EXPECT_EQ(result.exit_code, failure.exit_code) << "verbose " << asked;
    EXPECT_EQ(result.console, failure.console) << "verbose " << asked;
    if (!asked) {
      EXPECT_EQ(result.errors, "");
    } else if (failure.system_error == 0) {
      EXPECT_EQ(result.errors, failure.reason + "\n");
    } else if (under_wine()) {
      // Windows words its reasons its own way: the line names the failure,
      // then gives some text of the system's.
      EXPECT_EQ(result.errors.substr(0, failure.reason.size()), failure.reason);
      EXPECT_GT(result.errors.size(), failure.reason.size() + 2);
      EXPECT_EQ(result.errors.find('\n'), result.errors.size() - 1);
    } else {
      EXPECT_EQ(result.errors, failure.reason + std::strerror(failure.system_error) + "\n");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FailureReasons, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ReasonCase>& param_info) { return param_info.param.name; });

}  // namespace
