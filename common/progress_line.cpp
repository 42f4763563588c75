#include "common/progress_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/console.h"

namespace {

constexpr std::uint64_t kFirstDrawMs = 1000;
constexpr std::uint64_t kRedrawMs = 250;

}  // namespace

void ProgressLine::start(const char* tool) {
  tool_ = tool;
  drawn_ = false;
  const char* setting = std::getenv("CHUNKTOOLS_PROGRESS");
  enabled_ = (setting == nullptr || std::strcmp(setting, "0") != 0) && error_stream_is_terminal();
  if (!enabled_) return;
  started_ms_ = monotonic_milliseconds();
  next_draw_ms_ = started_ms_ + kFirstDrawMs;
}

void ProgressLine::draw_if_due(std::uint64_t bytes, std::uint64_t segment) {
  const std::uint64_t now = monotonic_milliseconds();
  if (now < next_draw_ms_) return;
  next_draw_ms_ = now + kRedrawMs;
  const double seconds = static_cast<double>(now - started_ms_) / 1000;
  const double mib = static_cast<double>(bytes) / (1024 * 1024);
  char line[160];
  const int length = std::snprintf(line, sizeof line, "%s: %.1f MiB read, %.1f MiB/s, segment %llu", tool_, mib,
                                   mib / seconds, static_cast<unsigned long long>(segment));
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof line) return;
  console_show_progress(line, static_cast<std::size_t>(length));
  drawn_ = true;
}

void ProgressLine::finish() {
  if (!drawn_) return;
  console_clear_progress();
  drawn_ = false;
}
