// sigdiff [--summary] OLD NEW
//
// Prints the chunks of the signature file NEW that a store holding the chunks
// of OLD must add: each record of NEW whose identity (len, crc_plus1,
// crc_plain) is neither in OLD nor in an earlier record of NEW, in NEW's
// order, as sigdump prints it (NEW's offsets). With --summary, one line of
// counts instead. Exit codes as diff and cmp give them: 0 nothing new, 1
// something new, 2 anything went wrong (the reason under CHUNKTOOLS_VERBOSE).
//
// NEW mostly repeats OLD's records in OLD's order, so two regular files are
// first read side by side: a record of NEW that is OLD's next one, or one of
// the few after it, is known at once. Only the others are kept, as candidates
// (candidate_list.h); one more pass over OLD tells which of them it holds.
// When they are more than half as many as OLD's records, or either file is
// not a regular file (a pipe), sigdiff builds the table of all of OLD's
// identities instead (chunk_table.h) and streams NEW through it.
//
// The one tool that allocates: the candidates, or that table, sized from the
// files' lengths; 16 bytes per record of OLD at most, plus a constant (and,
// for the table, the new chunks of NEW beyond its spare room).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "chunking/kernels/tier_choice.h"
#include "common/console.h"
#include "common/failure_report.h"
#include "common/file_guards.h"
#include "common/file_handle.h"
#include "common/record_reader.h"
#include "common/text_buffer.h"
#include "common/usage.h"
#include "records/records.h"
#include "records/signature_line.h"
#include "sigdiff/candidate_list.h"
#include "sigdiff/chunk_table.h"
#include "sigdiff/record_window.h"
#include "sigdiff/sigdiff_command.h"

namespace {

constexpr int kFailureCode = 2;
constexpr int kNothingNew = 0;
constexpr int kSomethingNew = 1;

const ToolUsage kUsage{
    "sigdiff", "[--summary] OLD NEW",
    "Prints the chunks of the signature file NEW that OLD lacks: each record of\n"
    "NEW whose (length, CRCs) is neither in OLD nor earlier in NEW, as sigdump\n"
    "prints it (OFFSET LEN CRC_PLUS1 CRC_PLAIN, with NEW's offsets): exactly the\n"
    "chunks a store that holds OLD's must add.\n"
    "\n"
    "  --summary   print one line instead: NEW's chunks and how many are new,\n"
    "              NEW's bytes and how many are new, with percentages\n"
    "  OLD         the signature file of what the store holds\n"
    "  NEW         the signature file to compare with it\n"
    "\n"
    "Memory: one table of 16 bytes per record of OLD, plus what NEW's new chunks\n"
    "need beyond a few thousand.\n"
    "\n"
    "Exit status: 0 nothing new, 1 some chunks new, 2 anything went wrong.\n",
    "", kFailureCode, describe_cpu_tiers};

constexpr char kOldRole[] = "old signature file";
constexpr char kNewRole[] = "new signature file";
constexpr char kTableOfOld[] = "the table of the old signature file's chunks";
constexpr char kTableOfNewChunks[] = "the table of the new signature file's chunks";
constexpr std::size_t kRecordsPerRead = 4096;
// Records whose slots are fetched ahead of the one looked up.
constexpr std::size_t kPrefetchDistance = 8;

// How far ahead in OLD a record of NEW is looked for before it becomes a
// candidate: a deletion of up to this many chunks keeps the two files in step.
constexpr std::size_t kLookAhead = 64;

unsigned char records[kRecordsPerRead * SignatureRecord::kBytes];
unsigned char old_window[2 * kRecordsPerRead * SignatureRecord::kBytes];
char text_storage[64 * 1024];

struct Counts {
  std::uint64_t chunks = 0;
  std::uint64_t bytes = 0;
  std::uint64_t new_chunks = 0;
  std::uint64_t new_bytes = 0;
};

enum class Reading { kDone, kStopped, kFailed };

// Reads the signature file `role` at `path` from where it stands and hands
// `take` each whole record, with the one kPrefetchDistance records on (or
// null, near a block's end), until `take` says false (kStopped) or the file
// ends (kDone); kFailed, reported, on a read error.
template <typename Take>
Reading read_records(FailureReport& report, FileHandle& file, const char* role, const char* path, Take take) {
  RecordReader reader(file, records, SignatureRecord::kBytes, kRecordsPerRead);
  for (;;) {
    std::size_t count;
    const ReadResult got = reader.next_block(&count);
    if (got == ReadResult::kError) {
      report.file_failed(Operation::kRead, role, path, file.error());
      return Reading::kFailed;
    }
    if (got == ReadResult::kEnd) {
      if (reader.stray_bytes() > 0 && !report.partial_record(role, path, reader.stray_bytes())) {
        return Reading::kFailed;
      }
      return Reading::kDone;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* record = reader.records() + i * SignatureRecord::kBytes;
      const unsigned char* later =
          i + kPrefetchDistance < count ? record + kPrefetchDistance * SignatureRecord::kBytes : nullptr;
      if (!take(record, later)) return Reading::kStopped;
    }
  }
}

// Prints the new chunks (unless only counting them for --summary) and counts
// them; write failures show at console_finish().
class NewChunks {
 public:
  NewChunks(bool summary, Counts* counts) : summary_(summary), counts_(counts) {}
  void add(const unsigned char* record, std::uint64_t offset) {
    if (!summary_) {
      if (out_.room() < kSignatureLineLongest) out_.flush_to_stdout();
      append_signature_line(offset, record, out_);
    }
    ++counts_->new_chunks;
    counts_->new_bytes += SignatureRecord::len_of(record);
  }
  ~NewChunks() { out_.flush_to_stdout(); }

 private:
  bool summary_;
  Counts* counts_;
  TextBuffer out_{text_storage, sizeof text_storage};
};

// Sizes the table from OLD's length and adds every identity in OLD; false,
// reported, on a failure.
bool load_old(FailureReport& report, FileHandle& old_file, const char* path, ChunkTable& table) {
  std::uint64_t length;
  // A pipe has no length: the table then grows as OLD comes.
  if (old_file.size(&length) && !table.reserve(length / SignatureRecord::kBytes)) {
    report.cannot_allocate(table.bytes_wanted(), kTableOfOld);
    return false;
  }
  const Reading read = read_records(report, old_file, kOldRole, path, [&](const unsigned char* record,
                                                                           const unsigned char* later) {
    if (later != nullptr) table.prefetch(later);
    return table.add(record) != ChunkTable::Added::kNoMemory;
  });
  if (read == Reading::kStopped) report.cannot_allocate(table.bytes_wanted(), kTableOfOld);
  return read == Reading::kDone;
}

// Streams NEW through the table, printing each new chunk unless `summary`;
// false, reported, on a failure (the lines of the chunks before it are
// printed).
bool compare_new(FailureReport& report, FileHandle& new_file, const char* path, ChunkTable& table, bool summary,
                 Counts* counts) {
  NewChunks new_chunks(summary, counts);
  const Reading read = read_records(report, new_file, kNewRole, path, [&](const unsigned char* record,
                                                                          const unsigned char* later) {
    if (later != nullptr) table.prefetch(later);
    const ChunkTable::Added added = table.add(record);
    if (added == ChunkTable::Added::kNoMemory) return false;
    if (added == ChunkTable::Added::kNew) new_chunks.add(record, counts->bytes);
    ++counts->chunks;
    counts->bytes += SignatureRecord::len_of(record);
    return true;
  });
  if (read == Reading::kStopped) report.cannot_allocate(table.bytes_wanted(), kTableOfNewChunks);
  return read == Reading::kDone;
}

// Moves `file` back to its start (sizing a regular file does); false, with
// the platform's error, when it cannot.
bool rewind(FileHandle& file) {
  std::uint64_t length;
  return file.size(&length);
}

enum class Aligned { kDone, kTooManyCandidates, kFailed };

// Reads NEW beside OLD, keeping as candidates the records of NEW that are not
// OLD's next ones (nor among the kLookAhead after them).
Aligned gather_candidates(FailureReport& report, FileHandle& old_file, FileHandle& new_file, const char* old_path,
                          const char* new_path, CandidateList& candidates, Counts* counts) {
  RecordWindow old_records(old_file, old_window, sizeof old_window);
  bool old_read_failed = false;
  const Reading read = read_records(report, new_file, kNewRole, new_path, [&](const unsigned char* record,
                                                                              const unsigned char*) {
    if (!old_records.fill(kLookAhead + 1)) {
      old_read_failed = true;
      return false;
    }
    const std::size_t ahead = old_records.available() < kLookAhead + 1 ? old_records.available() : kLookAhead + 1;
    std::size_t match = 0;
    while (match < ahead && std::memcmp(old_records.record(match), record, SignatureRecord::kBytes) != 0) ++match;
    if (match < ahead) {
      old_records.drop(match + 1);
    } else if (!candidates.add(record, counts->bytes)) {
      return false;
    }
    ++counts->chunks;
    counts->bytes += SignatureRecord::len_of(record);
    return true;
  });
  if (old_read_failed) {
    report.file_failed(Operation::kRead, kOldRole, old_path, old_file.error());
    return Aligned::kFailed;
  }
  if (read == Reading::kFailed) return Aligned::kFailed;
  return read == Reading::kStopped ? Aligned::kTooManyCandidates : Aligned::kDone;
}

// Marks the candidates OLD holds, reading it once more from its start.
bool mark_known_candidates(FailureReport& report, FileHandle& old_file, const char* path,
                           CandidateList& candidates) {
  if (!rewind(old_file)) {
    report.file_failed(Operation::kRead, kOldRole, path, old_file.error());
    return false;
  }
  return read_records(report, old_file, kOldRole, path, [&](const unsigned char* record, const unsigned char*) {
           candidates.mark_known(record);
           return true;
         }) == Reading::kDone;
}

// Prints the new candidates (unless `summary`) and counts them.
void print_new_candidates(const CandidateList& candidates, bool summary, Counts* counts) {
  NewChunks new_chunks(summary, counts);
  for (std::uint64_t i = 0; i < candidates.size(); ++i) {
    if (candidates.is_new(i)) new_chunks.add(candidates.record(i), candidates.offset(i));
  }
}

// The side-by-side comparison of two regular files of `old_length` and
// `new_length` bytes; kTooManyCandidates, with both files at their start and
// nothing printed, when it is not worth it or its memory cannot be had.
Aligned compare_aligned(FailureReport& report, FileHandle& old_file, FileHandle& new_file, const char* old_path,
                        const char* new_path, std::uint64_t old_length, std::uint64_t new_length, bool summary,
                        Counts* counts) {
  const std::uint64_t old_records = old_length / SignatureRecord::kBytes;
  const std::uint64_t new_records = new_length / SignatureRecord::kBytes;
  std::uint64_t capacity = old_records / 2 + 4096;
  if (capacity > new_records) capacity = new_records;
  if (capacity > CandidateList::kMostCandidates) capacity = CandidateList::kMostCandidates;
  CandidateList candidates;
  // Without that room, the table of OLD may still be had.
  if (!candidates.allocate(capacity)) return Aligned::kTooManyCandidates;
  const Aligned gathered = gather_candidates(report, old_file, new_file, old_path, new_path, candidates, counts);
  if (gathered == Aligned::kTooManyCandidates) {
    *counts = Counts();
    candidates.release();
    if (!rewind(old_file) || !rewind(new_file)) {
      report.file_failed(Operation::kRead, kNewRole, new_path, new_file.error());
      return Aligned::kFailed;
    }
    return gathered;
  }
  if (gathered == Aligned::kFailed) return gathered;
  candidates.index();
  if (candidates.size() > 0 && !mark_known_candidates(report, old_file, old_path, candidates)) {
    return Aligned::kFailed;
  }
  print_new_candidates(candidates, summary, counts);
  return Aligned::kDone;
}

// round(100 * part / whole) in hundredths, exact for any 64-bit counts:
// 10000 * part is worked out in 128 bits and divided bit by bit.
std::uint64_t percent_hundredths(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0) return 0;
  const std::uint64_t part_lo = part & 0xFFFFFFFF, part_hi = part >> 32;
  const std::uint64_t lo_product = part_lo * 10000, hi_product = part_hi * 10000;
  std::uint64_t low = lo_product + (hi_product << 32);
  std::uint64_t high = (hi_product >> 32) + (low < lo_product ? 1 : 0);
  // Adds whole / 2, to round half up.
  const std::uint64_t half = whole / 2;
  low += half;
  if (low < half) ++high;
  std::uint64_t quotient = 0, remainder = 0;
  for (int bit = 127; bit >= 0; --bit) {
    const std::uint64_t next = bit >= 64 ? (high >> (bit - 64)) & 1 : (low >> bit) & 1;
    const bool overflow = (remainder >> 63) != 0;
    remainder = remainder << 1 | next;
    quotient <<= 1;
    if (overflow || remainder >= whole) {
      remainder -= whole;
      quotient |= 1;
    }
  }
  return quotient;
}

void append_percent(std::uint64_t part, std::uint64_t whole, TextBuffer& out) {
  const std::uint64_t hundredths = percent_hundredths(part, whole);
  out.literal("(");
  out.unsigned_decimal(hundredths / 100);
  out.literal(".");
  out.unsigned_decimal(hundredths % 100 / 10);
  out.unsigned_decimal(hundredths % 10);
  out.literal("%)");
}

// "C chunks, N new (P%); B bytes, M new (Q%)"
void print_summary(const Counts& counts) {
  char storage[160];
  TextBuffer out(storage, sizeof storage);
  out.unsigned_decimal(counts.chunks);
  out.literal(" chunks, ");
  out.unsigned_decimal(counts.new_chunks);
  out.literal(" new ");
  append_percent(counts.new_chunks, counts.chunks, out);
  out.literal("; ");
  out.unsigned_decimal(counts.bytes);
  out.literal(" bytes, ");
  out.unsigned_decimal(counts.new_bytes);
  out.literal(" new ");
  append_percent(counts.new_bytes, counts.bytes, out);
  out.literal("\n");
  out.flush_to_stdout();
}

}  // namespace

int run_sigdiff(int argc, char** argv) {
  int exit_code;
  bool options_ended;
  if (answer_usage_request(kUsage, argc, argv, &exit_code, &options_ended)) return exit_code;
  FailureReport report(kUsage);
  const bool summary = !options_ended && std::strcmp(argv[1], "--summary") == 0;
  int first = summary ? 2 : 1;
  // --summary -- OLD NEW: the options end after the option too.
  if (summary && argc > 2 && std::strcmp(argv[2], "--") == 0) ++first;
  if (argc < first + 2) return report.too_few_arguments();
  const char* old_path = argv[first];
  const char* new_path = argv[first + 1];
  SystemError error = 0;
  if (!console_start(&error)) return report.start_failed(error);
  // Printing into a signature file would feed the run its own lines.
  const StandardOutput console = StandardOutput::examine();
  FileHandle old_file, new_file;
  if (!open_input(report, console, kOldRole, old_path, &old_file) ||
      !open_input(report, console, kNewRole, new_path, &new_file)) {
    return report.exit_code();
  }
  Counts counts;
  std::uint64_t old_length, new_length;
  const bool both_regular = old_file.identity().kind == FileKind::kRegular &&
                            new_file.identity().kind == FileKind::kRegular && old_file.size(&old_length) &&
                            new_file.size(&new_length);
  // A partial last record is known from a regular file's length before any
  // reading (the side-by-side pass may leave the end of OLD unread).
  if (both_regular && ((old_length % SignatureRecord::kBytes != 0 &&
                        !report.partial_record(kOldRole, old_path, old_length % SignatureRecord::kBytes)) ||
                       (new_length % SignatureRecord::kBytes != 0 &&
                        !report.partial_record(kNewRole, new_path, new_length % SignatureRecord::kBytes)))) {
    console_finish(report);
    return report.exit_code();
  }
  Aligned aligned = Aligned::kTooManyCandidates;
  if (both_regular) {
    // The table of OLD is what sigdiff promises to need at most, and it may
    // come to need it: a table that cannot be had fails the run at once,
    // whichever way the comparison would go.
    ChunkTable probe;
    if (!probe.could_reserve(old_length / SignatureRecord::kBytes)) {
      report.cannot_allocate(probe.bytes_wanted(), kTableOfOld);
      console_finish(report);
      return report.exit_code();
    }
    aligned = compare_aligned(report, old_file, new_file, old_path, new_path, old_length, new_length, summary,
                              &counts);
  }
  bool done = aligned == Aligned::kDone;
  if (aligned == Aligned::kTooManyCandidates) {
    ChunkTable table;
    done = load_old(report, old_file, old_path, table) &&
           compare_new(report, new_file, new_path, table, summary, &counts);
  }
  if (done && summary) print_summary(counts);
  console_finish(report);
  if (report.exit_code() != 0) return report.exit_code();
  return counts.new_chunks == 0 ? kNothingNew : kSomethingNew;
}
