// sigdump on arbitrary signature bytes, run in-process, against plain printf
// formatting of every whole record with a running offset.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "in_process.h"
#include "sigdump_command.h"

namespace {

std::uint64_t le(const std::uint8_t* bytes, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

std::string expected_lines(const std::uint8_t* input, std::size_t size) {
  std::string out;
  std::uint64_t offset = 0;
  for (std::size_t at = 0; at + 10 <= size; at += 10) {
    const std::uint8_t* r = input + at;
    const std::uint64_t len = le(r + 8, 2);
    char line[64];
    std::snprintf(line, sizeof line, "%" PRIu64 " %" PRIu64 " %08X %08X\n", offset, len, unsigned(le(r, 4)),
                  unsigned(le(r + 4, 4)));
    out += line;
    offset += len;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  const std::string signatures = scratch_folder() + "/signatures";
  put_file(signatures, std::string(reinterpret_cast<const char*>(input), size));
  const CapturedRun run = run_in_process(run_sigdump, {signatures});
  if (run.exit_code != 0 || run.console != expected_lines(input, size)) std::abort();
  return 0;
}
