// Why a run failed, for the person debugging a script. The tools are silent by
// contract: only when CHUNKTOOLS_VERBOSE is set, not empty and not 0 does a failed run
// write one line to standard error, such as
//   chunksig: cannot create signature file 'out.sig': Permission denied
// Standard output and the exit code are the same either way.
#ifndef COMMON_FAILURE_REPORT_H
#define COMMON_FAILURE_REPORT_H

#include <cstddef>
#include <cstdint>

#include "common/file_handle.h"
#include "common/usage.h"

enum class Operation { kOpen, kCreate, kSize, kRead, kWrite, kClose };

// Input the tools take as documented, but which a script may want to know of.
enum class Tolerated { kPartialRecord, kShortData };

// The first failure of a run is the one reported; what fails after it (a
// close after a failed write, say) adds no line. Every member that records a
// failure returns the exit code of a failed run: 1, or the code the tool
// gives (sigdiff's 2, as diff and cmp have it), both from the tool's usage.
class FailureReport {
 public:
  explicit FailureReport(const ToolUsage& usage) : usage_(usage) {}

  // The usage line's arguments, or with `form` ("show") given, those of the
  // alternative of the usage line that starts with it.
  int too_few_arguments(const char* form = nullptr);
  // `role` says which argument: "base file", "segment list", ...
  int file_failed(Operation operation, const char* role, const char* path, SystemError error);
  // A write to the output `role` at `path` failed or came up short, leaving
  // `torn_bytes` of a partial record that could not be cut back (0: the
  // output ends in a whole record).
  int write_failed(const char* role, const char* path, SystemError error, std::size_t torn_bytes);
  int console_failed(Operation operation, SystemError error);
  // The output `output_role` ("signature file") at `output_path` would
  // overwrite the input `role` at `path`.
  int output_is_input(const char* output_role, const char* output_path, const char* role, const char* path);
  // Standard output is the input `role` at `path`, or ("signature file") the
  // output the tool is about to create.
  int console_is_file(const char* role, const char* path);
  // The run is refused before it starts: `why` says why.
  int refused(const char* why);
  // The standard descriptors could not be set up.
  int start_failed(SystemError error);
  // Line `line_number` (from 1) of the text `role` at `path` cannot be taken.
  int bad_line(const char* role, const char* path, unsigned long long line_number, const char* problem);
  // A value on the command line cannot be taken: `problem` then the value.
  int bad_argument(const char* problem, const char* value);
  // The input `role` at `path` is larger than the tool can take: `limit`
  // says how large it may be.
  int too_large(const char* role, const char* path, const char* limit);
  // The memory for `what` cannot be had.
  int cannot_allocate(unsigned long long bytes, const char* what);

  // Tolerated input. By default the run goes on (true), with one line
  // "TOOL: warning: ..." under CHUNKTOOLS_VERBOSE, once per run for each kind;
  // under CHUNKTOOLS_STRICT it is a failure (false: the caller stops, keeping
  // what it wrote), whose reason is the same text.
  //
  // The file `role` at `path` ends in `stray_bytes` of a partial record.
  bool partial_record(const char* role, const char* path, std::size_t stray_bytes);
  // The data file `role` at `path` lacks `missing_bytes` that `reacher` ("the
  // segments") reaches, from stream position `from_position` on (taken as
  // 0xFF bytes).
  bool short_data(const char* role, const char* path, std::uint64_t missing_bytes, std::uint64_t from_position,
                  const char* reacher = "the segments");
  // Whether CHUNKTOOLS_STRICT is set (to anything but nothing or 0).
  static bool strict_mode();

  // 0 when nothing failed, else the failure code.
  int exit_code() const { return failed_ ? usage_.failure_code : 0; }

 private:
  // One piece of a reason line; a name the user gave (a path) may hold any
  // byte, so its control bytes are escaped.
  struct Piece {
    const char* text;
    bool is_name = false;
  };
  // Writes "TOOL: " + the pieces + "\n" when asked to; marks the run failed
  // and returns the failure code.
  template <std::size_t kCount>
  int say(const Piece (&pieces)[kCount]) {
    return say(pieces, kCount);
  }
  int say(const Piece* pieces, std::size_t count);
  bool tolerate(Tolerated kind, const Piece* pieces, std::size_t count);
  // Writes "TOOL: " + `kind` + the pieces + "\n" to standard error.
  void write_line(const char* kind, const Piece* pieces, std::size_t count);

  const ToolUsage& usage_;
  bool failed_ = false;
  unsigned warned_ = 0;  // a bit per Tolerated kind already warned of
};

#endif  // COMMON_FAILURE_REPORT_H
