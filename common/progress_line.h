// A progress line for long runs, as zstd and pv draw one: on standard error,
// only when that is a terminal, first after a second of work, redrawn at most
// four times a second and cleared at the end, so that scripts and logs, whose
// standard error is a pipe or a file, see nothing of it.
// CHUNKTOOLS_PROGRESS=0 turns it off. Lines printed while it is drawn go out
// around it (console.h), so that they read as they would without it.
#ifndef COMMON_PROGRESS_LINE_H
#define COMMON_PROGRESS_LINE_H

#include <cstddef>
#include <cstdint>

class ProgressLine {
 public:
  // Decides whether to draw at all, and starts the clock.
  void start(const char* tool);
  // `bytes` read so far, in segment number `segment` (from 1) of the list.
  // Costs a clock reading when drawing, nothing otherwise.
  void update(std::uint64_t bytes, std::uint64_t segment) {
    if (enabled_) draw_if_due(bytes, segment);
  }
  // Clears the line, if one was drawn, so that what follows on the terminal
  // (a failure's reason, the shell's prompt) starts on a clean line.
  void finish();

 private:
  void draw_if_due(std::uint64_t bytes, std::uint64_t segment);

  const char* tool_ = "";
  bool enabled_ = false;
  std::uint64_t started_ms_ = 0;
  std::uint64_t next_draw_ms_ = 0;
  bool drawn_ = false;
};

#endif  // COMMON_PROGRESS_LINE_H
