// idxdump INDEX
//
// Prints every 40-byte entry of an index file as one line of labelled fields.
// Silent on failure: the exit code alone tells (0 done, 1 anything went wrong).
#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "idxdump_command.h"
#include "console.h"
#include "file_handle.h"
#include "little_endian.h"

namespace {

constexpr int kEntryBytes = 40;

// Prints one entry as stored, field by field. Both times carry the label
// "t_cr: ": scripts that read this output depend on it.
void print_entry(const unsigned char (&entry)[kEntryBytes]) {
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

}  // namespace

int run_idxdump(int argc, char** argv) {
  if (argc < 2) return 1;
  if (!console_start()) return 1;

  FileHandle index = FileHandle::open_read(argv[1]);
  if (!index.is_open()) return 1;

  unsigned char entry[kEntryBytes];
  for (;;) {
    const ReadResult got = index.read_record(entry, sizeof entry);
    if (got == ReadResult::kError) return 1;
    if (got == ReadResult::kEnd) break;
    print_entry(entry);
  }
  return console_finish() ? 0 : 1;
}
