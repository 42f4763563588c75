// chunkcat DATA [LIST]
//
// Writes the bytes of the chunks a list names, each verified against its
// signature, to standard output: for a store that must add the chunks
// sigdiff found new. LIST (a file, or standard input when absent or "-")
// holds one chunk a line as sigdump and sigdiff print them, "OFFSET LENGTH
// CRC_PLUS1 CRC_PLAIN"; each chunk's LENGTH bytes of DATA at OFFSET go out in
// the order of the lines, with nothing between them, once both CRCs of the
// bytes match the line's. A chunk that does not match ends the run before
// its bytes are written. Bytes beyond the end of DATA count as 0xFF, as
// chunksig hashes them. Silent on failure: the exit code alone tells (0 done,
// 1 anything went wrong), unless CHUNKTOOLS_VERBOSE asks for the reason.
//
// DATA may be a regular file, read where each chunk lies (runs of adjacent
// chunks in reads of up to a MiB), or a pipe, read once (the lines must then
// go forward). Memory is a few fixed buffers, whatever the sizes.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "chunkcat/chunk_line.h"
#include "chunkcat/chunkcat_command.h"
#include "chunking/crc32.h"
#include "chunking/crc_batch.h"
#include "chunking/kernels/tier_table.h"
#include "common/console.h"
#include "common/failure_report.h"
#include "common/file_guards.h"
#include "common/file_handle.h"
#include "common/usage.h"

namespace {

const ToolUsage kUsage{
    "chunkcat", "DATA [LIST]",
    "Writes the bytes of the chunks LIST names to standard output, each verified\n"
    "against its signature: for each line \"OFFSET LENGTH CRC_PLUS1 CRC_PLAIN\",\n"
    "as sigdump and sigdiff print them, the LENGTH bytes of DATA at OFFSET, in\n"
    "the order of the lines, once both CRCs of the bytes match the line's.\n"
    "\n"
    "  DATA   the bytes the signatures were made of (chunksig's data file):\n"
    "         a file, or a pipe whose lines then go forward; bytes beyond\n"
    "         its end count as 0xFF, as chunksig hashes them\n"
    "  LIST   the chunk lines; absent or -, standard input\n"
    "\n"
    "A chunk that does not match its signature ends the run before its bytes\n"
    "go out; so does a bad line. Standard output that is a terminal is refused.\n"
    "\n"
    "Exit status: 0 done, 1 anything went wrong.\n",
    "", 1, describe_cpu_tiers};

constexpr char kDataRole[] = "data file";
constexpr char kListRole[] = "list";
constexpr std::size_t kLongestChunk = 65535;
// The list is read a MiB at a time: each read from a full pipe wakes its
// writer, and a wake-up every few KiB costs more than the switch itself (the
// scheduler tends to run the two on one core, taking turns).
constexpr std::size_t kListBlock = 1024 * 1024;
constexpr std::size_t kListPipeBuffer = 1024 * 1024;
// Reads of DATA: a chunk apart from the one before takes a read of its own;
// a run of adjacent chunks, reads that double up to kLargestRead.
constexpr std::size_t kFirstRunRead = 64 * 1024;
constexpr std::size_t kLargestRead = 1024 * 1024;

char list_text[kListBlock];
unsigned char data_window[kLargestRead + kLongestChunk];
// Small: runs of chunks larger than it go to the descriptor without a copy.
char output_buffer[64 * 1024];

// The bytes of DATA that the chunks need, from a regular file by positioned
// reads or from a pipe in one forward pass, with 0xFF for bytes past its end.
class DataSource {
 public:
  DataSource(FileHandle& file, bool positioned) : file_(file), positioned_(positioned) {}

  enum class Got { kChunk, kReadFailed, kBackwards };

  // Whether the window holds the `length` bytes at `offset` as read, so that
  // chunk() gives them without moving what it gave before.
  bool holds(std::uint64_t offset, std::size_t length) const {
    return offset >= start_ && offset + length <= start_ + size_;
  }

  // The `length` bytes at `offset` where the window holds them as read and
  // they may be taken now (from a pipe, none before the chunk taken last):
  // what chunk() would give without reading, which leaves what it gave
  // before in place. Null otherwise.
  const unsigned char* held(std::uint64_t offset, std::size_t length) {
    if (!holds(offset, length) || (!positioned_ && next_ != kNone && offset < next_)) return nullptr;
    next_ = offset + length;
    return data_window + (offset - start_);
  }

  // The `length` bytes at `offset`, at *bytes until the next call; *missing
  // of them (the last ones) are past the file's end and 0xFF.
  Got chunk(std::uint64_t offset, std::size_t length, const unsigned char** bytes, std::size_t* missing) {
    if (!positioned_ && next_ != kNone && offset < next_) return Got::kBackwards;
    if (!holds(offset, length)) {
      if (!(positioned_ ? read_at(offset, length) : read_forward(offset, length))) return Got::kReadFailed;
    }
    const std::size_t at = static_cast<std::size_t>(offset - start_);
    const std::size_t real = size_ > at ? (size_ - at < length ? size_ - at : length) : 0;
    *missing = length - real;
    if (*missing > 0) std::memset(data_window + at + real, 0xFF, *missing);
    *bytes = data_window + at;
    next_ = offset + length;
    return Got::kChunk;
  }

 private:
  bool read_at(std::uint64_t offset, std::size_t length) {
    run_read_ = offset == next_ ? (run_read_ == 0 ? kFirstRunRead : run_read_ * 2) : 0;
    if (run_read_ > kLargestRead) run_read_ = kLargestRead;
    const std::size_t wanted = run_read_ > length ? run_read_ : length;
    const std::ptrdiff_t got = file_.read_at(offset, data_window, wanted);
    if (got < 0) return false;
    start_ = offset;
    size_ = static_cast<std::size_t>(got);
    return true;
  }

  // Reads the pipe forward, dropping what lies before `offset`, until the
  // window starts there and holds `length` bytes or the pipe has ended.
  bool read_forward(std::uint64_t offset, std::size_t length) {
    for (;;) {
      drop_before(offset);
      if (ended_) {
        // Nothing more comes: what the window lacks is past the end.
        if (start_ < offset) start_ = offset;
        return true;
      }
      if (start_ == offset && size_ >= length) return true;
      const std::ptrdiff_t got = file_.read_some(data_window + size_, sizeof data_window - size_);
      if (got < 0) return false;
      if (got == 0) ended_ = true;
      size_ += static_cast<std::size_t>(got > 0 ? got : 0);
    }
  }

  // Forgets the window's bytes before stream position `position`, as far as
  // they have been read.
  void drop_before(std::uint64_t position) {
    if (position <= start_) return;
    const std::size_t drop = position - start_ < size_ ? static_cast<std::size_t>(position - start_) : size_;
    std::memmove(data_window, data_window + drop, size_ - drop);
    size_ -= drop;
    start_ += drop;
  }

  FileHandle& file_;
  bool positioned_;
  std::uint64_t start_ = 0;  // the stream position of data_window[0]
  std::size_t size_ = 0;     // real bytes in the window
  static constexpr std::uint64_t kNone = ~std::uint64_t{0};
  std::uint64_t next_ = kNone;  // where the last chunk ended
  std::size_t run_read_ = 0;
  bool ended_ = false;
};

void hex8(std::uint32_t value, char* text) { std::snprintf(text, 9, "%08" PRIX32, value); }

// Verified bytes not yet handed to standard output: the chunks lie in the
// data window one after another as often as not (a run of adjacent chunks),
// so they go out in one write from where they were read, rather than a copy
// each. Emptied before the window changes and at the end of the run.
struct PendingOutput {
  const unsigned char* start = nullptr;
  std::size_t size = 0;

  bool add(const unsigned char* bytes, std::size_t count) {
    if (bytes != start + size && !flush()) return false;
    if (size == 0) start = bytes;
    size += count;
    return true;
  }
  bool flush() {
    const bool written = console_write(start, size);
    size = 0;
    return written;
  }
};

// Chunks taken from the data window whose CRCs are not yet checked: they
// are worked out together (batch_crc_pairs), then checked and written in
// the order of the lines.
struct ChunkBatch {
  ChunkLine lines[kCrcBatchChunks];
  std::uint64_t line_numbers[kCrcBatchChunks];
  const unsigned char* starts[kCrcBatchChunks];
  std::uint32_t lengths[kCrcBatchChunks];
  CrcPair pairs[kCrcBatchChunks];
  std::size_t count = 0;
};

struct Run {
  FailureReport& report;
  FileHandle& data_file;
  const char* data_path;
  const char* list_path;  // as failures name it: the path, or "-"
  ChunkKernels kernels;
  DataSource& data;
  bool strict;
  PendingOutput output;
  std::uint64_t missing = 0;       // 0xFF bytes written in place of DATA's
  std::uint64_t missing_from = 0;  // where the first of them was
  ChunkBatch batch{};
};

// The batch's chunks checked against their lines, in order, and handed to
// standard output; the batch is then empty. False, reported, at the first
// that does not match: the ones before it go out whole, it does not.
bool check_batch(Run& run) {
  ChunkBatch& batch = run.batch;
  const std::size_t count = batch.count;
  batch.count = 0;
  batch_crc_pairs(run.kernels, batch.starts, batch.lengths, count, batch.pairs);
  for (std::size_t i = 0; i < count; ++i) {
    const ChunkLine& line = batch.lines[i];
    const CrcPair& pair = batch.pairs[i];
    if (pair.plus1 != line.crc_plus1 || pair.plain != line.crc_plain) {
      char problem[160], has_plus1[9], has_plain[9], listed_plus1[9], listed_plain[9];
      hex8(pair.plus1, has_plus1);
      hex8(pair.plain, has_plain);
      hex8(line.crc_plus1, listed_plus1);
      hex8(line.crc_plain, listed_plain);
      std::snprintf(problem, sizeof problem,
                    "the %" PRIu32 " bytes at offset %" PRIu64 " of DATA have the CRCs %s %s, not %s %s", line.length,
                    line.offset, has_plus1, has_plain, listed_plus1, listed_plain);
      run.report.bad_line(kListRole, run.list_path, batch.line_numbers[i], problem);
      return false;
    }
    if (!run.output.add(batch.starts[i], line.length)) return false;
  }
  return true;
}

// The bytes of the line's chunk, read where the window does not hold them;
// null, reported, when the run must end.
const unsigned char* fetch_chunk(Run& run, const ChunkLine& line, std::uint64_t line_number) {
  if (!run.data.holds(line.offset, line.length) && !run.output.flush()) return nullptr;
  const unsigned char* bytes;
  std::size_t missing;
  switch (run.data.chunk(line.offset, line.length, &bytes, &missing)) {
    case DataSource::Got::kChunk:
      break;
    case DataSource::Got::kReadFailed:
      run.report.file_failed(Operation::kRead, kDataRole, run.data_path, run.data_file.error());
      return nullptr;
    case DataSource::Got::kBackwards:
      run.report.bad_line(kListRole, run.list_path, line_number,
                          "the chunk starts before the end of the one before, and DATA is a pipe, read once: "
                          "its lines must go forward");
      return nullptr;
  }
  if (missing > 0) {
    if (run.missing == 0) run.missing_from = line.offset + line.length - missing;
    run.missing += missing;
    if (run.strict) {
      run.report.short_data(kDataRole, run.data_path, run.missing, run.missing_from, "the list's chunks");
      return nullptr;
    }
  }
  return bytes;
}

// One chunk taken into the batch: straight from the window where it lies
// there, else once the chunks before it are checked and written (the window
// moves, or a failure may end the run). False, reported, when the run must
// end.
bool take_chunk(Run& run, const ChunkLine& line, std::uint64_t line_number) {
  ChunkBatch& batch = run.batch;
  const unsigned char* bytes = batch.count < kCrcBatchChunks ? run.data.held(line.offset, line.length) : nullptr;
  if (bytes == nullptr) {
    if (!check_batch(run)) return false;
    bytes = fetch_chunk(run, line, line_number);
    if (bytes == nullptr) return false;
  }
  batch.lines[batch.count] = line;
  batch.line_numbers[batch.count] = line_number;
  batch.starts[batch.count] = bytes;
  batch.lengths[batch.count] = line.length;
  ++batch.count;
  return true;
}

// One line of any form: parsed, then its chunk taken.
bool take_line(Run& run, const char* text, std::size_t size, std::uint64_t line_number) {
  ChunkLine line;
  if (const char* problem = parse_chunk_line(text, size, &line)) {
    // The chunks before it go out first.
    if (check_batch(run)) run.report.bad_line(kListRole, run.list_path, line_number, problem);
    return false;
  }
  return take_chunk(run, line, line_number);
}

// Reads the list and takes each line; false when the run ended early.
bool take_list(Run& run, FileHandle& list) {
  std::size_t have = 0;
  std::uint64_t line_number = 0;
  bool ended = false;
  while (!ended) {
    const std::ptrdiff_t got = list.read_some(list_text + have, sizeof list_text - have);
    if (got < 0) {
      if (check_batch(run)) run.report.file_failed(Operation::kRead, kListRole, run.list_path, list.error());
      return false;
    }
    ended = got == 0;
    have += static_cast<std::size_t>(got);
    std::size_t start = 0;
    for (;;) {
      ChunkLine line;
      if (const std::size_t taken = parse_plain_chunk_line(list_text + start, have - start, &line)) {
        if (!take_chunk(run, line, ++line_number)) return false;
        start += taken;
        continue;
      }
      const char* newline = static_cast<const char*>(std::memchr(list_text + start, '\n', have - start));
      if (newline == nullptr) break;
      const std::size_t end = static_cast<std::size_t>(newline - list_text);
      if (!take_line(run, list_text + start, end - start, ++line_number)) return false;
      start = end + 1;
    }
    // A last line without a newline counts; a line that fills the whole
    // buffer is no chunk line.
    if (ended && start < have && !take_line(run, list_text + start, have - start, ++line_number)) return false;
    if (!ended && start == 0 && have == sizeof list_text) {
      if (check_batch(run)) {
        run.report.bad_line(kListRole, run.list_path, line_number + 1, "expected OFFSET LENGTH CRC_PLUS1 CRC_PLAIN");
      }
      return false;
    }
    std::memmove(list_text, list_text + start, have - start);
    have -= start;
  }
  return check_batch(run);
}

}  // namespace

int run_chunkcat(int argc, char** argv) {
  int exit_code;
  if (answer_usage_request(kUsage, argc, argv, &exit_code)) return exit_code;
  FailureReport report(kUsage);
  if (argc > 3) return report.bad_argument("one DATA and one LIST at most; unexpected", argv[3]);
  SystemError error = 0;
  if (!console_start(&error)) return report.start_failed(error);
  if (output_stream_is_terminal()) {
    report.refused("standard output is a terminal; send the chunks' bytes to a file or a pipe");
    console_finish(report);
    return report.exit_code();
  }
  const StandardOutput console = StandardOutput::examine();
  const char* data_path = argv[1];
  const bool list_from_input = argc < 3 || std::strcmp(argv[2], "-") == 0;
  const char* list_path = list_from_input ? "-" : argv[2];
  FileHandle data, list;
  bool opened = open_input(report, console, kDataRole, data_path, &data);
  if (opened && list_from_input) {
    list = FileHandle::standard_input();
    if (!list.is_open()) {
      report.file_failed(Operation::kOpen, kListRole, list_path, list.error());
      opened = false;
    } else if (console.is(list.identity())) {
      report.console_is_file(kListRole, list_path);
      opened = false;
    }
  } else if (opened) {
    opened = open_input(report, console, kListRole, list_path, &list);
  }
  if (opened) {
    console_set_binary(output_buffer, sizeof output_buffer);
    // A list piped from sigdiff or sigdump: a large pipe lets the writer run
    // ahead while the chunks are checked, rather than the two taking turns.
    list.enlarge_pipe_buffer(kListPipeBuffer);
    DataSource source(data, data.identity().kind == FileKind::kRegular);
    Run run{report, data, data_path, list_path, kernels_for(chosen_cpu_tier()), source, FailureReport::strict_mode(),
            PendingOutput()};
    // Every chunk verified before a failure goes out, whole.
    const bool whole_list = take_list(run, list);
    if (run.output.flush() && whole_list && run.missing > 0) {
      report.short_data(kDataRole, data_path, run.missing, run.missing_from, "the list's chunks");
    }
  }
  console_finish(report);
  return report.exit_code();
}
