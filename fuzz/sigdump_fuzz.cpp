// sigdump on arbitrary signature bytes, run in-process, against plain printf
// formatting of every whole record with a running offset.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/little_endian.h"
#include "fuzz/in_process.h"
#include "sigdump/sigdump_command.h"

namespace {

std::string expected_lines(const std::uint8_t* input, std::size_t size) {
  std::string out;
  std::uint64_t offset = 0;
  for (std::size_t at = 0; at + 10 <= size; at += 10) {
    const std::uint8_t* r = input + at;
    const std::uint64_t len = load_le(r + 8, 2);
    char line[64];
    std::snprintf(line, sizeof line, "%" PRIu64 " %" PRIu64 " %08X %08X\n", offset, len, unsigned(load_le(r, 4)),
                  unsigned(load_le(r + 4, 4)));
    out += line;
    offset += len;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  check_dump(run_sigdump, input, size, expected_lines(input, size));
  return 0;
}
