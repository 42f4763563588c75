// idxdump on arbitrary index bytes, run in-process, against plain printf
// formatting of every whole entry.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "idxdump_command.h"
#include "in_process.h"

namespace {

std::uint64_t le(const std::uint8_t* bytes, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

std::string expected_lines(const std::uint8_t* input, std::size_t size) {
  std::string out;
  for (std::size_t at = 0; at + 40 <= size; at += 40) {
    const std::uint8_t* e = input + at;
    char line[256];
    std::snprintf(line, sizeof line,
                  "level: %d; size: %02X %08X; attr: %04X; t_cr: %016" PRIX64 "; t_cr: %016" PRIX64
                  "; crc0: %08X; crc1: %08X; sofs: %08X; slen: %08X; \n",
                  e[5], e[4], unsigned(le(e, 4)), unsigned(le(e + 6, 2)), le(e + 8, 8), le(e + 16, 8),
                  unsigned(le(e + 24, 4)), unsigned(le(e + 28, 4)), unsigned(le(e + 32, 4)),
                  unsigned(le(e + 36, 4)));
    out += line;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  const std::string index = scratch_folder() + "/index";
  put_file(index, std::string(reinterpret_cast<const char*>(input), size));
  const CapturedRun run = run_in_process(run_idxdump, {index});
  if (run.exit_code != 0 || run.console != expected_lines(input, size)) std::abort();
  return 0;
}
