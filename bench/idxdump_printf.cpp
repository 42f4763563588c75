// The baseline idxdump is measured against: one read call per 40-byte entry
// and one printf per field, the straightforward way. Same text as idxdump.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/file_handle.h"
#include "common/little_endian.h"

namespace {

// One entry per call, waiting through the pieces a pipe delivers.
bool read_entry(FileHandle& index, unsigned char (&entry)[40]) {
  std::size_t have = 0;
  while (have < sizeof entry) {
    const std::ptrdiff_t got = index.read_some(entry + have, sizeof entry - have);
    if (got <= 0) return false;
    have += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  FileHandle index = FileHandle::open_read(argv[1]);
  if (!index.is_open()) return 1;
  unsigned char entry[40];
  while (read_entry(index, entry)) {
    std::printf("level: %u; ", static_cast<unsigned>(entry[5]));
    std::printf("size: %02" PRIX32 " %08" PRIX32 "; ", static_cast<std::uint32_t>(entry[4]),
                static_cast<std::uint32_t>(load_le(entry, 4)));
    std::printf("attr: %04" PRIX32 "; ", static_cast<std::uint32_t>(load_le(entry + 6, 2)));
    std::printf("t_cr: %016" PRIX64 "; ", load_le(entry + 8, 8));
    std::printf("t_cr: %016" PRIX64 "; ", load_le(entry + 16, 8));
    std::printf("crc0: %08" PRIX32 "; ", static_cast<std::uint32_t>(load_le(entry + 24, 4)));
    std::printf("crc1: %08" PRIX32 "; ", static_cast<std::uint32_t>(load_le(entry + 28, 4)));
    std::printf("sofs: %08" PRIX32 "; ", static_cast<std::uint32_t>(load_le(entry + 32, 4)));
    std::printf("slen: %08" PRIX32 "; ", static_cast<std::uint32_t>(load_le(entry + 36, 4)));
    std::printf("\n");
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
