#include "common/console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// The error of the first write to standard output that failed, if any.
SystemError first_write_error = 0;
bool write_failed = false;

bool note_write_failure() {
  if (!write_failed) first_write_error = static_cast<SystemError>(errno);
  write_failed = true;
  return false;
}

// The progress line as drawn: "\r" and its text, then blanks over what a
// longer line before left; `progress_width` is the widest drawn, 0 for none.
char progress_line[192];
std::size_t progress_size = 0;
std::size_t progress_width = 0;
// Whether standard output shares the terminal: asked once, when a line is
// first drawn (0 unknown, 1 no, 2 yes).
int output_on_terminal = 0;

void write_error_text(const char* text, std::size_t size) {
  std::fwrite(text, 1, size, stderr);
  std::fflush(stderr);
}

void blank_progress() {
  char blank[sizeof progress_line + 2];
  const std::size_t size = progress_width + 2 < sizeof blank ? progress_width + 2 : sizeof blank;
  std::memset(blank, ' ', size);
  blank[0] = '\r';
  blank[size - 1] = '\r';
  write_error_text(blank, size);
}

}  // namespace

bool console_write(const void* bytes, std::size_t size) {
  if (size == 0) return !write_failed;
  errno = 0;
  const bool around_progress = progress_width > 0 && output_on_terminal == 2;
  if (around_progress) blank_progress();
  if (std::fwrite(bytes, 1, size, stdout) != size) return note_write_failure();
  if (around_progress) {
    if (std::fflush(stdout) != 0) return note_write_failure();
    write_error_text(progress_line, progress_size);
  }
  return !write_failed;
}

void console_error_line(const char* line, std::size_t size) {
  // What the tool printed before the line goes out first, wherever the two
  // streams lead. A failed write shows at console_finish().
  if (std::fflush(stdout) != 0) note_write_failure();
  if (progress_width > 0) blank_progress();
  write_error_text(line, size);
  if (progress_width > 0) write_error_text(progress_line, progress_size);
}

void console_show_progress(const char* text, std::size_t size) {
  if (output_on_terminal == 0) output_on_terminal = output_stream_is_terminal() ? 2 : 1;
  std::size_t length = 0;
  progress_line[length++] = '\r';
  for (std::size_t i = 0; i < size && length < sizeof progress_line; ++i) progress_line[length++] = text[i];
  const std::size_t width = length - 1;
  while (length - 1 < progress_width && length < sizeof progress_line) progress_line[length++] = ' ';
  progress_size = length;
  if (width > progress_width) progress_width = width;
  write_error_text(progress_line, progress_size);
}

void console_clear_progress() {
  if (progress_width == 0) return;
  blank_progress();
  progress_width = progress_size = 0;
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
