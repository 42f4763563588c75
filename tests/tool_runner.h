// Runs the built executables as a user's script would, on files in a scratch
// folder, and collects their exit code and everything they printed.
#ifndef TESTS_TOOL_RUNNER_H
#define TESTS_TOOL_RUNNER_H

#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/scratch.h"

// The names of the tools, as the build lists them.
const std::vector<std::string>& tool_names();

// The executable of the tool `name` (one of tool_names()): the build's own,
// unless CHUNKTOOLS_TOOL_DIR names another build's folder (the Windows
// executables, run under Wine, with CHUNKTOOLS_TOOL_SUFFIX=.exe; a foreign
// build's, run under qemu).
std::string tool_path(const std::string& name);

// Every regular file directly in `folder`, by name, with its bytes (with its
// size and modification time, for a file over 16 MiB).
std::map<std::string, std::string> snapshot_files(const std::string& folder);

// Where standard output goes: a pipe the harness reads, /dev/full, nowhere
// (closed), appended to the file RunOptions::console_file names, or the
// pseudo-terminal standard error is on (which errors_on_terminal then implies;
// what the terminal showed of both is in RunResult::errors).
enum class Console { kCaptured, kDevFull, kClosed, kAppendToFile, kTerminal };

struct RunOptions {
  Console console = Console::kCaptured;
  std::string console_file;
  bool close_stdin = false;
  // Bytes; with SIGXFSZ at its default action, as a shell's `ulimit -f` leaves
  // it, so the tools themselves must turn it into a failed write.
  long long file_size_limit = -1;
  // NAME=VALUE settings added to the tool's environment.
  std::vector<std::string> environment;
  // Seconds after which the tool is killed by SIGALRM (exit code 142), so a
  // run that should not wait fails instead of hanging; 30 times as long under
  // CHUNKTOOLS_TOOL_WRAPPER (an emulator or valgrind). 0: no limit.
  unsigned time_limit_seconds = 0;
  // Standard error on a pseudo-terminal, as a user at a console has it,
  // rather than a pipe; RunResult::errors is then what the terminal showed
  // (every "\n" as "\r\n").
  bool errors_on_terminal = false;
  // The folder the tool runs in; empty: the test's own.
  std::string working_dir;
  // A file standard input reads; empty: the harness's own.
  std::string input_file;
};

struct RunResult {
  int exit_code;        // 128 + signal number when killed by a signal
  std::string console;  // standard output, when captured
  std::string errors;   // standard error, always captured
  double seconds = 0;   // wall time from start to end
};

// The environment setting that asks the tools for the reason of a failure.
extern const char kVerbose[];

// The setting that makes close() fail with EIO, after releasing the
// descriptor, for the file at `canonical_path` or, given "stdout", for
// descriptor 1; it loads a test library into the tool. Empty where that cannot
// be done (the Windows executables under Wine).
std::vector<std::string> failing_close_of(const std::string& canonical_path);
// The setting that makes the reads of the file (or FIFO) at `canonical_path`
// give its bytes up to `offset`, then fail with EIO. Empty where that cannot
// be done: under Wine, and under qemu-user, which reads for the program
// without the C library's read().
std::vector<std::string> failing_reads_of(const std::string& canonical_path, std::uint64_t offset);

// Whether the tools under test are Windows executables run by Wine
// (CHUNKTOOLS_WINE set).
bool under_wine();

// Whether runs with closed standard descriptors test the tool. Not under Wine
// (CHUNKTOOLS_WINE set): there Wine's own files take descriptors 0 and 1
// before the program starts.
bool closed_descriptors_testable();

// The bytes a console file holds for `text`: with CR LF line ends where
// CHUNKTOOLS_CONSOLE_CRLF says the tool prints them.
std::string console_file_bytes(const std::string& text);

// Runs `executable` with `args`. With CHUNKTOOLS_CONSOLE_CRLF set, as for
// Windows executables, every line of standard output must end in CR LF: the
// CRs are removed from the result, and a line that ends in LF alone leaves a
// marker there that no expected output matches.
RunResult run_tool(const std::string& executable, const std::vector<std::string>& args,
                   const RunOptions& options = RunOptions());

// Makes `path` a FIFO and starts a thread that writes `bytes` into it once a
// reader opens it, pausing `pause_ms` milliseconds after the first
// `pause_after` bytes; a reader that goes away early ends the writing
// (SIGPIPE is ignored). Join the thread after the run.
std::thread feed_fifo(const std::string& path, const std::string& bytes, std::size_t pause_after = 0,
                      unsigned pause_ms = 0);

// chunksig's four files in a scratch folder: base, data, segments and
// signatures (not created). The base file is sparse, so a start position
// beyond 4 GiB costs no disk.
struct ChunksigFiles {
  ScratchDir dir;
  std::string base = dir.path("base"), data = dir.path("data"), segments = dir.path("segments"),
              signatures = dir.path("signatures");

  ChunksigFiles(std::uint64_t fptr, const std::string& data_bytes, const std::string& segment_bytes);
  std::vector<std::string> args() const { return {base, data, segments, signatures}; }
  RunResult run(const RunOptions& options = RunOptions()) const;
};

#endif  // TESTS_TOOL_RUNNER_H
