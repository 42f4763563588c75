// Standard output as the tools' product: guarded at start, flushed and closed
// with every failure caught at the end.
#ifndef COMMON_CONSOLE_H
#define COMMON_CONSOLE_H

#include <cstddef>
#include <cstdint>

#include "common/failure_report.h"
#include "common/file_handle.h"

// Makes sure the standard descriptors are taken before any file is opened, so
// that a file opened while standard output was closed can never receive the
// console text: a closed standard output is replaced by a descriptor that
// refuses writes, which console_finish() then reports. Also makes a write past
// a file-size limit fail (EFBIG) rather than kill the process, so that such a
// failure takes the tools' documented path. False, with the platform's error,
// when that fails.
bool console_start(SystemError* error);

// Makes standard output carry bytes as they are (no line-end translation on
// Windows) through a buffer of `size` bytes at `buffer`, which outlives the
// run; for a tool whose output is data, not lines. Called after
// console_start(), before anything is printed.
void console_set_binary(char* buffer, std::size_t size);

// Hands `size` bytes to standard output (through stdio's buffer); false when
// the stream reports an error. The first error is kept for console_finish().
bool console_write(const void* bytes, std::size_t size);

// Writes one whole line (`size` bytes, ending in "\n") to standard error, as
// the failure and warning lines go out: a progress line drawn there is blanked
// first and drawn again after it.
void console_error_line(const char* line, std::size_t size);

// The progress line on a terminal's standard error: console_show_progress
// draws `text` (no newline) over the one drawn before; console_clear_progress
// blanks it. While one is drawn, whatever the tool prints to standard output,
// when that is a terminal too, goes out with the line blanked and is followed
// by the line drawn again, so the printed lines read as they would without it.
void console_show_progress(const char* text, std::size_t size);
void console_clear_progress();

// Flushes standard output and closes it, as gnulib's close_stdout does: some
// file systems report a lost write only at close. True when every byte printed
// reached it; else false, with the failed write or close told to `report`.
bool console_finish(FailureReport& report);

// The platform's close of the standard output descriptor; false on failure,
// with the error in errno.
bool close_console_descriptor();

// Whether standard error, or standard output, is a terminal (a console on
// Windows).
bool error_stream_is_terminal();
bool output_stream_is_terminal();

// Milliseconds from an arbitrary start that never goes back.
std::uint64_t monotonic_milliseconds();

#endif  // COMMON_CONSOLE_H
