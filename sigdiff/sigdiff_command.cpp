// sigdiff [--summary] OLD... NEW
//
// Prints the chunks of the signature file NEW that a store holding the chunks
// of the OLD files must add: each record of NEW whose identity (len,
// crc_plus1, crc_plain) is neither in an OLD file nor in an earlier record of
// NEW, in NEW's order, as sigdump prints it (NEW's offsets). With --summary,
// one line of counts instead. Exit codes as diff and cmp give them: 0 nothing
// new, 1 something new, 2 anything went wrong (the reason under
// CHUNKTOOLS_VERBOSE).
//
// NEW mostly repeats OLD's records in OLD's order, so with one OLD file the
// two are first read side by side: a record of NEW that is OLD's next one,
// or one of the few after it, is known at once, and the few others, kept in
// a small set, are looked up in one more pass over OLD. When NEW strays from
// OLD more than that, the partitioned join (partitioned_diff.h) compares
// them, at a cost per record that does not depend on how they are related.
//
// Memory: within CHUNKTOOLS_MEMORY (default 1 GiB; 256 MiB in 32-bit
// builds), past which the join works through temporary files in TMPDIR. A
// pipe is first copied to a temporary file, since every way reads NEW twice.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "chunking/kernels/tier_choice.h"
#include "common/console.h"
#include "common/failure_report.h"
#include "common/file_guards.h"
#include "common/file_handle.h"
#include "common/random_key.h"
#include "common/text_buffer.h"
#include "common/usage.h"
#include "records/records.h"
#include "records/signature_line.h"
#include "sigdiff/identity_set.h"
#include "sigdiff/partitioned_diff.h"
#include "sigdiff/record_window.h"
#include "sigdiff/signature_input.h"
#include "sigdiff/sigdiff_command.h"

namespace {

constexpr int kFailureCode = 2;
constexpr int kNothingNew = 0;
constexpr int kSomethingNew = 1;

const ToolUsage kUsage{
    "sigdiff", "[--summary] OLD... NEW",
    "Prints the chunks of the signature file NEW that the OLD files lack: each\n"
    "record of NEW whose (length, CRCs) is neither in an OLD file nor earlier in\n"
    "NEW, as sigdump prints it (OFFSET LEN CRC_PLUS1 CRC_PLAIN, with NEW's\n"
    "offsets): exactly the chunks a store that holds the OLD files' must add.\n"
    "\n"
    "  --summary   print one line instead: NEW's chunks and how many are new,\n"
    "              NEW's bytes and how many are new, with percentages\n"
    "  OLD...      the signature files of what the store holds (one or more)\n"
    "  NEW         the signature file to compare with them\n"
    "\n"
    "Memory: at most CHUNKTOOLS_MEMORY; past it, temporary files in TMPDIR.\n"
    "\n"
    "Exit status: 0 nothing new, 1 some chunks new, 2 anything went wrong.\n",
    "  CHUNKTOOLS_MEMORY=SIZE the most memory to use, in bytes or with K, M or G\n"
    "                         (default 1G; 256M in 32-bit builds); past it the\n"
    "                         comparison goes through temporary files\n"
    "  TMPDIR=DIR             where temporary files go (default /tmp)\n",
    kFailureCode, describe_cpu_tiers};

constexpr char kOldRole[] = "old signature file";
constexpr char kNewRole[] = "new signature file";
constexpr std::size_t kRecordBytes = SignatureRecord::kBytes;
constexpr std::size_t kPipeBuffer = 1 << 20;
constexpr std::uint64_t kSmallestBudget = std::uint64_t{4} << 20;
constexpr std::uint64_t kDefaultBudget = sizeof(void*) >= 8 ? std::uint64_t{1} << 30 : std::uint64_t{256} << 20;

// How far ahead in OLD a record of NEW is looked for before it becomes a
// candidate: a deletion of up to this many chunks keeps the two in step.
constexpr std::size_t kLookAhead = 64;
// The most candidates the side-by-side reading keeps before it leaves the
// comparison to the partitioned join.
constexpr std::size_t kMostCandidates = std::size_t{1} << 16;
// A filter over the candidates' hashes, which spares most of OLD's records a
// lookup in their set.
constexpr std::size_t kFilterBits = std::size_t{1} << 16;

unsigned char old_window[2 * kRecordsPerRead * kRecordBytes];
char text_storage[64 * 1024];
// Whether each record of a run read from NEW is new.
unsigned char run_verdicts[kRecordsPerRead];

struct Candidate {
  unsigned char identity[kIdentityBytes];
  bool first;  // no earlier candidate has its identity
  std::uint64_t offset;
};
Candidate candidates[kMostCandidates];
IdentitySet::Slot candidate_slots[2 * kMostCandidates];
std::uint64_t candidate_filter[kFilterBits / 64];

// Prints the new chunks (unless only counting them for --summary) and counts
// them; write failures show at console_finish().
class NewChunks {
 public:
  NewChunks(bool summary, ChunkCounts* counts) : summary_(summary), counts_(counts) {}
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
  ChunkCounts* counts_;
  TextBuffer out_{text_storage, sizeof text_storage};
};

// A signature file that is no regular file (a pipe) is read once into a
// temporary file, so that it can be read again; its whole records are
// counted, and a partial last record is told to the report. False, reported,
// on a failure or under the strict mode.
bool make_rereadable(FailureReport& report, const char* temp_folder, SignatureInput& input, FileHandle* copy) {
  std::uint64_t length;
  if (input.file->identity().kind == FileKind::kRegular && input.file->size(&length)) {
    input.records = length / kRecordBytes;
    return length % kRecordBytes == 0 || report.partial_record(input.role, input.path, length % kRecordBytes);
  }
  // A pipe of the system's default size (64 KiB on Linux) would hand over
  // its records in small reads, each waking the writer: a larger one lets
  // both sides work in longer runs.
  input.file->enlarge_pipe_buffer(kPipeBuffer);
  *copy = FileHandle::create_temporary(temp_folder);
  if (!copy->is_open()) {
    report.file_failed(Operation::kCreate, "temporary file in", temp_folder, copy->error());
    return false;
  }
  std::uint64_t bytes = 0;
  for (;;) {
    const std::ptrdiff_t got = input.file->read_some(signature_read_buffer, sizeof signature_read_buffer);
    if (got < 0) {
      report.file_failed(Operation::kRead, input.role, input.path, input.file->error());
      return false;
    }
    if (got == 0) break;
    if (copy->write_all(signature_read_buffer, static_cast<std::size_t>(got)) != static_cast<std::size_t>(got)) {
      report.file_failed(Operation::kWrite, "temporary file in", temp_folder, copy->error());
      return false;
    }
    bytes += static_cast<std::uint64_t>(got);
  }
  input.file->close();
  input.file = copy;
  input.records = bytes / kRecordBytes;
  if (!rewind_input(report, input)) return false;
  return bytes % kRecordBytes == 0 || report.partial_record(input.role, input.path, bytes % kRecordBytes);
}

bool filter_has(std::uint64_t hash) { return (candidate_filter[(hash >> 40) % kFilterBits / 64] >> (hash >> 40) % 64) & 1; }
void filter_add(std::uint64_t hash) { candidate_filter[(hash >> 40) % kFilterBits / 64] |= std::uint64_t{1} << (hash >> 40) % 64; }

enum class SideBySide { kDone, kTooManyCandidates, kFailed };

// The side-by-side comparison of NEW with the one OLD file; kTooManyCandidates,
// with nothing printed and both files at their start, when NEW strays too far
// from OLD for it.
SideBySide compare_side_by_side(FailureReport& report, std::uint64_t key, SignatureInput& old_input,
                                SignatureInput& new_input, bool summary, ChunkCounts* counts) {
  RecordWindow old_records(*old_input.file, old_window, sizeof old_window);
  std::size_t kept = 0;
  bool old_failed = false;
  ChunkCounts seen;
  const bool read = read_records(report, new_input, [&](const unsigned char* record, std::uint64_t) {
    if (!old_records.fill(kLookAhead + 1)) {
      old_failed = true;
      return false;
    }
    const std::size_t ahead = old_records.available() < kLookAhead + 1 ? old_records.available() : kLookAhead + 1;
    std::size_t match = 0;
    while (match < ahead && std::memcmp(old_records.record(match), record, kIdentityBytes) != 0) ++match;
    if (match < ahead) {
      old_records.drop(match + 1);
    } else {
      if (kept == kMostCandidates) return false;
      std::memcpy(candidates[kept].identity, record, kIdentityBytes);
      candidates[kept].offset = seen.bytes;
      ++kept;
    }
    ++seen.chunks;
    seen.bytes += SignatureRecord::len_of(record);
    return true;
  });
  if (old_failed) {
    report.file_failed(Operation::kRead, old_input.role, old_input.path, old_input.file->error());
    return SideBySide::kFailed;
  }
  if (!read) return SideBySide::kFailed;
  if (seen.chunks < new_input.records) {
    // Too many candidates: the partitioned join takes over from the start.
    if (!rewind_input(report, old_input) || !rewind_input(report, new_input)) return SideBySide::kFailed;
    return SideBySide::kTooManyCandidates;
  }
  counts->chunks = seen.chunks;
  counts->bytes = seen.bytes;
  if (kept == 0) return SideBySide::kDone;
  // The candidates' set, their first occurrences, and one more pass over OLD
  // to mark those it holds.
  IdentitySet set;
  set.attach(candidate_slots, 2 * kMostCandidates);
  set.start(2 * kMostCandidates);
  std::memset(candidate_filter, 0, sizeof candidate_filter);
  for (std::size_t i = 0; i < kept; ++i) {
    const std::uint64_t hash = identity_hash(candidates[i].identity, key);
    candidates[i].first = set.add(candidates[i].identity, hash) == IdentitySet::Added::kNew;
    filter_add(hash);
  }
  if (!rewind_input(report, old_input)) return SideBySide::kFailed;
  const bool marked = read_records(report, old_input, [&](const unsigned char* record, std::uint64_t) {
    const std::uint64_t hash = identity_hash(record, key);
    if (!filter_has(hash)) return true;
    IdentitySet::Slot* slot = set.find(record, hash);
    if (slot != nullptr) slot->mark = 1;
    return true;
  });
  if (!marked) return SideBySide::kFailed;
  NewChunks new_chunks(summary, counts);
  for (std::size_t i = 0; i < kept; ++i) {
    if (!candidates[i].first) continue;
    const IdentitySet::Slot* slot = set.find(candidates[i].identity, identity_hash(candidates[i].identity, key));
    if (slot->mark != 0) continue;
    unsigned char record[kRecordBytes];
    std::memcpy(record, candidates[i].identity, kIdentityBytes);
    new_chunks.add(record, candidates[i].offset);
  }
  return SideBySide::kDone;
}

// Reads NEW once more, printing (unless `summary`) and counting the records
// whose mark is set.
bool print_marked(FailureReport& report, SignatureInput& new_input, NewMarks& marks, bool summary,
                  ChunkCounts* counts) {
  NewChunks new_chunks(summary, counts);
  return read_record_runs(report, new_input, [&](const unsigned char* records, std::size_t count, std::uint64_t first) {
    marks.find_run(records, count, first, run_verdicts);
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* record = records + i * kRecordBytes;
      if (run_verdicts[i] != 0) new_chunks.add(record, counts->bytes);
      ++counts->chunks;
      counts->bytes += SignatureRecord::len_of(record);
    }
    return true;
  });
}

// CHUNKTOOLS_MEMORY: bytes, or a number with K, M or G (powers of 1024);
// unset or empty, the default. False for any other text.
bool memory_budget(std::uint64_t* budget) {
  const char* text = std::getenv("CHUNKTOOLS_MEMORY");
  *budget = kDefaultBudget;
  if (text == nullptr || *text == '\0') return true;
  std::uint64_t value = 0;
  const char* at = text;
  for (; *at >= '0' && *at <= '9'; ++at) {
    if (value > (~std::uint64_t{0} >> 31)) return false;
    value = value * 10 + static_cast<unsigned>(*at - '0');
  }
  if (at == text) return false;
  unsigned shift = 0;
  if (*at == 'K' || *at == 'k') shift = 10;
  if (*at == 'M' || *at == 'm') shift = 20;
  if (*at == 'G' || *at == 'g') shift = 30;
  if (shift != 0) ++at;
  if (*at != '\0') return false;
  *budget = value << shift;
  // A 32-bit process cannot address more than part of its 4 GiB: a larger
  // budget is the most it could use.
  const std::uint64_t most = ~std::size_t{0} / 2;
  if (*budget > most) *budget = most;
  return true;
}

const char* temp_folder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : FileHandle::default_temporary_folder();
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
void print_summary(const ChunkCounts& counts) {
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
  // --summary -- OLD... NEW: the options end after the option too.
  if (summary && argc > 2 && std::strcmp(argv[2], "--") == 0) ++first;
  if (argc < first + 2) return report.too_few_arguments();
  SystemError error = 0;
  if (!console_start(&error)) return report.start_failed(error);
  std::uint64_t budget;
  if (!memory_budget(&budget) || budget < kSmallestBudget) {
    report.bad_argument("CHUNKTOOLS_MEMORY must be a size of 4M or more, such as 512M or 2G, not",
                        std::getenv("CHUNKTOOLS_MEMORY"));
    console_finish(report);
    return report.exit_code();
  }
  const std::size_t old_count = static_cast<std::size_t>(argc - first - 1);
  // The files (and the copies of pipes) live on the stack of this run; their
  // number is the command line's.
  FileHandle* files = static_cast<FileHandle*>(std::calloc(2 * (old_count + 1), sizeof(FileHandle)));
  SignatureInput* inputs = static_cast<SignatureInput*>(std::calloc(old_count + 1, sizeof(SignatureInput)));
  if (files == nullptr || inputs == nullptr) {
    std::free(files);
    std::free(inputs);
    report.cannot_allocate(2 * (old_count + 1) * sizeof(FileHandle), "the list of files");
    console_finish(report);
    return report.exit_code();
  }
  for (std::size_t i = 0; i < 2 * (old_count + 1); ++i) new (&files[i]) FileHandle();
  // Printing into a signature file would feed the run its own lines.
  const StandardOutput console = StandardOutput::examine();
  bool done = true;
  for (std::size_t i = 0; i <= old_count && done; ++i) {
    inputs[i] = SignatureInput{i < old_count ? kOldRole : kNewRole, argv[first + i], &files[i], 0};
    done = open_input(report, console, inputs[i].role, inputs[i].path, inputs[i].file);
  }
  const char* folder = temp_folder();
  for (std::size_t i = 0; i <= old_count && done; ++i) {
    done = make_rereadable(report, folder, inputs[i], &files[old_count + 1 + i]);
  }
  SignatureInput& new_input = inputs[old_count];
  ChunkCounts counts;
  const std::uint64_t key = random_key();
  SideBySide side = SideBySide::kTooManyCandidates;
  if (done && old_count == 1) side = compare_side_by_side(report, key, inputs[0], new_input, summary, &counts);
  if (done && side == SideBySide::kFailed) done = false;
  if (done && side == SideBySide::kTooManyCandidates) {
    const std::uint64_t mark_bytes = marks_bytes(new_input.records);
    NewMarks marks;
    if (mark_bytes > budget / 2) {
      report.cannot_allocate(mark_bytes, "the marks of the new signature file's records (CHUNKTOOLS_MEMORY is too small)");
      done = false;
    } else {
      marks.bits = static_cast<std::uint64_t*>(std::calloc(1, mark_bytes > 0 ? static_cast<std::size_t>(mark_bytes) : 8));
      if (marks.bits == nullptr) {
        report.cannot_allocate(mark_bytes, "the marks of the new signature file's records");
        done = false;
      }
    }
    const DiffSettings settings{budget - mark_bytes, folder, key};
    marks.counts_only = summary;
    done = done && mark_new_records(report, settings, inputs, old_count, new_input, marks);
    if (done && marks.counted) {
      counts = marks.counts;
    } else {
      done = done && print_marked(report, new_input, marks, summary, &counts);
    }
    std::free(marks.bits);
  }
  if (done && summary) print_summary(counts);
  for (std::size_t i = 0; i < 2 * (old_count + 1); ++i) files[i].~FileHandle();
  std::free(files);
  std::free(inputs);
  console_finish(report);
  if (report.exit_code() != 0) return report.exit_code();
  return counts.new_chunks == 0 ? kNothingNew : kSomethingNew;
}
