#include "common/console.h"

#include <cerrno>
#include <cstdio>

namespace {
// The error of the first write to standard output that failed, if any.
SystemError first_write_error = 0;
bool write_failed = false;

bool note_write_failure() {
  if (!write_failed) first_write_error = static_cast<SystemError>(errno);
  write_failed = true;
  return false;
}
}  // namespace

bool console_write(const void* bytes, std::size_t size) {
  if (size == 0) return !write_failed;
  errno = 0;
  if (std::fwrite(bytes, 1, size, stdout) != size) return note_write_failure();
  return !write_failed;
}

bool console_finish(FailureReport& report) {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) note_write_failure();
  // Cleared for the next run of a tool in the same process (the fuzz targets').
  const bool written = !write_failed;
  write_failed = false;
  if (!written) {
    report.console_failed(Operation::kWrite, first_write_error);
    return false;
  }
  // The stream's buffer is empty now, so closing the descriptor beneath it is
  // fclose without giving up the stream: the process's exit writes nothing
  // more, and a test harness that runs a tool in-process can restore it.
  if (!close_console_descriptor()) {
    report.console_failed(Operation::kClose, static_cast<SystemError>(errno));
    return false;
  }
  return true;
}
