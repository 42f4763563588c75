// Why a run failed, for the person debugging a script. The tools are silent by
// contract: only when CHUNKTOOLS_VERBOSE is set and not empty does a failed run
// write one line to standard error, such as
//   chunksig: cannot create signature file 'out.sig': Permission denied
// Standard output and the exit code are the same either way.
#ifndef COMMON_FAILURE_REPORT_H
#define COMMON_FAILURE_REPORT_H

#include "common/file_handle.h"

enum class Operation { kOpen, kCreate, kSize, kRead, kWrite, kClose };

// The first failure of a run is the one reported; what fails after it (a
// close after a failed write, say) adds no line. Every member that records a
// failure returns 1, the exit code of a failed run.
class FailureReport {
 public:
  explicit FailureReport(const char* tool) : tool_(tool) {}

  // `usage` lists the arguments the tool takes.
  int too_few_arguments(const char* usage);
  // `role` says which argument: "base file", "segment list", ...
  int file_failed(Operation operation, const char* role, const char* path, SystemError error);
  int console_failed(Operation operation, SystemError error);
  // The signature file would overwrite the input `role` at `path`.
  int signature_is_input(const char* signature_path, const char* role, const char* path);
  // Standard output is the input `role` at `path`, or ("signature file") the
  // output the tool is about to create.
  int console_is_file(const char* role, const char* path);
  // The standard descriptors could not be set up.
  int start_failed(SystemError error);

  // 0 when nothing failed, else 1.
  int exit_code() const { return failed_ ? 1 : 0; }

 private:
  // One piece of a reason line; a name the user gave (a path) may hold any
  // byte, so its control bytes are escaped.
  struct Piece {
    const char* text;
    bool is_name = false;
  };
  // Writes "TOOL: " + the pieces + "\n" when asked to; marks the run failed.
  int say(const Piece* pieces, int count);

  const char* tool_;
  bool failed_ = false;
};

#endif  // COMMON_FAILURE_REPORT_H
