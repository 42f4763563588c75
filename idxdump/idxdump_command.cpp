// idxdump INDEX
//
// Prints every 40-byte entry of an index file as one line of labelled fields.
// Silent on failure: the exit code alone tells (0 done, 1 anything went wrong),
// unless CHUNKTOOLS_VERBOSE asks for the reason.
#include <cstddef>
#include <cstdint>

#include "idxdump_command.h"
#include "little_endian.h"
#include "record_dump.h"
#include "text_buffer.h"

namespace {

constexpr std::size_t kEntryBytes = 40;
constexpr std::size_t kEntriesPerRead = 4096;
// The longest line: "level: 255; " and eight labelled fields.
constexpr std::size_t kLongestLine = 160;

unsigned char entries[kEntriesPerRead * kEntryBytes];
char text_storage[64 * 1024];

std::uint32_t field32(const unsigned char* entry, int offset) {
  return static_cast<std::uint32_t>(load_le(entry + offset, 4));
}

// One entry as stored, field by field. Both times carry the label "t_cr: ":
// scripts that read this output depend on it.
void format_entry(const unsigned char* entry, TextBuffer& out) {
  out.literal("level: ");
  out.decimal(entry[5]);
  out.literal("; size: ");
  out.hex(entry[4], 2);
  out.literal(" ");
  out.hex(field32(entry, 0), 8);
  out.literal("; attr: ");
  out.hex(load_le(entry + 6, 2), 4);
  out.literal("; t_cr: ");
  out.hex(load_le(entry + 8, 8), 16);
  out.literal("; t_cr: ");
  out.hex(load_le(entry + 16, 8), 16);
  out.literal("; crc0: ");
  out.hex(field32(entry, 24), 8);
  out.literal("; crc1: ");
  out.hex(field32(entry, 28), 8);
  out.literal("; sofs: ");
  out.hex(field32(entry, 32), 8);
  out.literal("; slen: ");
  out.hex(field32(entry, 36), 8);
  out.literal("; \n");
}

}  // namespace

int run_idxdump(int argc, char** argv) {
  const RecordDump dump{"idxdump", "INDEX", "index file", kEntryBytes, kLongestLine, format_entry};
  return run_record_dump(dump, argc, argv, entries, kEntriesPerRead, text_storage, sizeof text_storage);
}
