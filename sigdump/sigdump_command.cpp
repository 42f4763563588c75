// sigdump SIGNATURES
//
// Prints every 10-byte signature record as one line of four fields, separated
// by single spaces:
//   OFFSET LEN CRC_PLUS1 CRC_PLAIN
// OFFSET is where the chunk begins among the bytes chunksig took (the sum of
// the lengths before it) and LEN its length, both in decimal; the two CRCs are
// 8 uppercase hexadecimal digits. The same chunk prints the same last three
// fields wherever it lies, so two files compare with standard tools once the
// first field is cut away. Silent on failure: the exit code alone tells (0
// done, 1 anything went wrong), unless CHUNKTOOLS_VERBOSE asks for the reason.
#include <cstddef>
#include <cstdint>

#include "chunking/kernels/tier_choice.h"
#include "common/record_dump.h"
#include "common/text_buffer.h"
#include "common/usage.h"
#include "records/records.h"
#include "records/signature_line.h"
#include "sigdump/sigdump_command.h"

namespace {

constexpr std::size_t kRecordsPerRead = 4096;

unsigned char records[kRecordsPerRead * SignatureRecord::kBytes];
char text_storage[64 * 1024];
// `offset` is where the record's chunk begins: the lengths of the records
// printed before it.
void format_record(const unsigned char* bytes, void* offset, TextBuffer& out) {
  std::uint64_t& next = *static_cast<std::uint64_t*>(offset);
  next += append_signature_line(next, bytes, out);
}

const ToolUsage kUsage{"sigdump",
                       "SIGNATURES",
                       "Prints each 10-byte record of a signature file as one line:\n"
                       "  OFFSET LEN CRC_PLUS1 CRC_PLAIN\n"
                       "OFFSET (where the chunk begins among the bytes chunksig took) and LEN in\n"
                       "decimal, the two CRCs as 8 hexadecimal digits. A partial last record is\n"
                       "ignored.\n"
                       "\n"
                       "  SIGNATURES   a signature file that chunksig wrote\n"
                       "\n"
                       "Exit status: 0 done, 1 anything went wrong.\n",
                       "",
                       1,
                       describe_cpu_tiers};

}  // namespace

int run_sigdump(int argc, char** argv) {
  int exit_code;
  if (answer_usage_request(kUsage, argc, argv, &exit_code)) return exit_code;
  std::uint64_t offset = 0;
  const RecordDump dump{kUsage,          nullptr, "signature file", SignatureRecord::kBytes, kSignatureLineLongest,
                        format_record, &offset};
  return run_record_dump(dump, argc, argv, records, kRecordsPerRead, text_storage, sizeof text_storage);
}
