// idxdump INDEX
//
// Prints every 40-byte entry of an index file as one line of labelled fields.
// Silent on failure: the exit code alone tells (0 done, 1 anything went wrong),
// unless CHUNKTOOLS_VERBOSE asks for the reason.
#include <cstddef>
#include <cstdint>

#include "chunking/kernels/tier_choice.h"
#include "common/record_dump.h"
#include "common/text_buffer.h"
#include "common/usage.h"
#include "idxdump/idxdump_command.h"
#include "records/records.h"

namespace {

constexpr std::size_t kEntriesPerRead = 4096;
// The longest line (156 bytes): the labels and separators, a level of 3
// digits, 2 + 8 digits of size, 4 of attr, 2 * 16 of times and 4 * 8 of the
// other fields.
constexpr std::size_t kLongestLine =
    sizeof "level: ; size:  ; attr: ; t_cr: ; t_cr: ; crc0: ; crc1: ; sofs: ; slen: ; \n" - 1 + 3 + 10 + 4 + 2 * 16 +
    4 * 8;

unsigned char entries[kEntriesPerRead * IndexEntry::kBytes];
char text_storage[64 * 1024];

// One entry as stored, field by field. Both times carry the label "t_cr: ":
// scripts that read this output depend on it.
void format_entry(const unsigned char* bytes, void*, TextBuffer& out) {
  const IndexEntry entry = IndexEntry::decode(bytes);
  out.literal("level: ");
  out.decimal(entry.level);
  out.literal("; size: ");
  out.hex(entry.size_hi, 2);
  out.literal(" ");
  out.hex(entry.size_lo, 8);
  out.literal("; attr: ");
  out.hex(entry.attr, 4);
  out.literal("; t_cr: ");
  out.hex(entry.t_cr, 16);
  out.literal("; t_cr: ");
  out.hex(entry.t_2, 16);
  out.literal("; crc0: ");
  out.hex(entry.crc0, 8);
  out.literal("; crc1: ");
  out.hex(entry.crc1, 8);
  out.literal("; sofs: ");
  out.hex(entry.sofs, 8);
  out.literal("; slen: ");
  out.hex(entry.slen, 8);
  out.literal("; \n");
}

const ToolUsage kUsage{
    "idxdump", "INDEX",
    "Prints each 40-byte entry of an index file as one line of labelled fields,\n"
    "each as stored: level in decimal, every other field in hexadecimal\n"
    "(size: its high 8 and low 32 bits; attr; two times, both labelled t_cr;\n"
    "crc0; crc1; sofs; slen). A partial last entry is ignored.\n"
    "\n"
    "  INDEX   an index file of 40-byte entries\n"
    "\n"
    "Exit status: 0 done, 1 anything went wrong.\n",
    "", 1, describe_cpu_tiers};

}  // namespace

int run_idxdump(int argc, char** argv) {
  int exit_code;
  if (answer_usage_request(kUsage, argc, argv, &exit_code)) return exit_code;
  const RecordDump dump{kUsage, nullptr, "index file", IndexEntry::kBytes, kLongestLine, format_entry, nullptr};
  return run_record_dump(dump, argc, argv, entries, kEntriesPerRead, text_storage, sizeof text_storage);
}
