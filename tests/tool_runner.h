// Runs the built executables as a user's script would, on files in a scratch
// folder, and collects their exit code and everything they printed.
#ifndef TESTS_TOOL_RUNNER_H
#define TESTS_TOOL_RUNNER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "scratch.h"

// The tools under test: the builds' own, unless CHUNKTOOLS_CHUNKSIG or
// CHUNKTOOLS_IDXDUMP names others (the Windows executables, run under Wine).
const std::string& chunksig_path();
const std::string& idxdump_path();

// Every regular file directly in `folder`, by name, with its bytes (with its
// size and modification time, for a file over 16 MiB).
std::map<std::string, std::string> snapshot_files(const std::string& folder);

enum class Console { kCaptured, kDevFull, kClosed };

struct RunOptions {
  Console console = Console::kCaptured;
  bool close_stdin = false;
  long long file_size_limit = -1;  // bytes; writes past it fail with EFBIG
};

struct RunResult {
  int exit_code;        // 128 + signal number when killed by a signal
  std::string console;  // standard output, when captured
};

// With CHUNKTOOLS_CONSOLE_CRLF set, as for Windows executables, every line of
// standard output must end in CR LF: the CRs are removed from `console`, and a
// line that ends in LF alone leaves a marker there that no expected output
// matches.

// Whether runs with closed standard descriptors test the tool. Not under Wine
// (CHUNKTOOLS_WINE set): there Wine's own files take descriptors 0 and 1
// before the program starts.
bool closed_descriptors_testable();

RunResult run_tool(const std::string& executable, const std::vector<std::string>& args,
                   const RunOptions& options = RunOptions());

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
