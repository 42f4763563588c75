// idxdump on arbitrary index bytes, run in-process, against plain printf
// formatting of every whole entry.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/little_endian.h"
#include "fuzz/in_process.h"
#include "idxdump/idxdump_command.h"

namespace {

std::string expected_lines(const std::uint8_t* input, std::size_t size) {
  std::string out;
  for (std::size_t at = 0; at + 40 <= size; at += 40) {
    const std::uint8_t* e = input + at;
    char line[256];
    std::snprintf(line, sizeof line,
                  "level: %d; size: %02X %08X; attr: %04X; t_cr: %016" PRIX64 "; t_cr: %016" PRIX64
                  "; crc0: %08X; crc1: %08X; sofs: %08X; slen: %08X; \n",
                  e[5], e[4], unsigned(load_le(e, 4)), unsigned(load_le(e + 6, 2)), load_le(e + 8, 8), load_le(e + 16, 8),
                  unsigned(load_le(e + 24, 4)), unsigned(load_le(e + 28, 4)), unsigned(load_le(e + 32, 4)),
                  unsigned(load_le(e + 36, 4)));
    out += line;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  check_dump(run_idxdump, input, size, expected_lines(input, size));
  return 0;
}
