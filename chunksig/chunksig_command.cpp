// chunksig [-j N] BASE DATA SEGMENTS SIGNATURES
//
// Cuts the stream bytes that the segment list reaches into content-defined
// chunks and writes one signature record per chunk. Silent on failure: the exit
// code alone tells (0 done, 1 anything went wrong), unless CHUNKTOOLS_VERBOSE
// asks for the reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "chunking/kernels/tier_choice.h"
#include "chunksig/chunksig_command.h"
#include "chunksig/data_stream.h"
#include "chunksig/parallel_chunking.h"
#include "chunksig/signature_sink.h"
#include "common/console.h"
#include "common/failure_report.h"
#include "common/file_guards.h"
#include "common/file_handle.h"
#include "common/progress_line.h"
#include "common/record_reader.h"
#include "common/text_buffer.h"
#include "common/usage.h"
#include "common/worker_thread.h"
#include "records/records.h"

#ifdef CHUNKSIG_REFERENCE_CHUNKER
#include "chunking/reference_chunker.h"
using Chunker = ReferenceChunker;
#else
#include "chunking/fast_chunker.h"
using Chunker = FastChunker;
#endif

namespace {

constexpr std::size_t kSegmentsPerRead = 4096;

unsigned char segment_records[kSegmentsPerRead * SegmentRecord::kBytes];
Chunker chunker;
SignatureRecord ended_chunks[Chunker::kMaxChunksPerSpan];
DataStream::Buffer stream_buffer;
SignatureSink::Buffers sink_buffers;

// Hands the records of `count` ended chunks to the sink; false when a write failed.
bool queue(SignatureSink& sink, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!sink.add(ended_chunks[i])) return false;
  }
  return true;
}

void print_fptr(std::uint64_t fptr) {
  char storage[32];
  TextBuffer line(storage, sizeof storage);
  line.literal("fptr=");
  line.decimal(static_cast<std::int64_t>(fptr));
  line.literal("\n");
  line.flush_to_stdout();
}

// One line per segment that brings new bytes; every value is its low 32 bits.
// The sink prints it once the segment's records are written.
void trace_segment(std::uint64_t end, std::uint64_t total, const SegmentRecord& segment,
                   SignatureSink& sink) {
  char storage[SignatureSink::kLongestLine];
  TextBuffer line(storage, sizeof storage);
  line.hex(end, 8);
  line.literal(" ");
  line.hex(total, 8);
  line.literal(" ");
  line.hex(segment.len, 8);
  line.literal(" ");
  line.hex(segment.ofs, 8);
  line.literal(" ");
  line.hex(end, 8);
  line.literal(" !!!\n");
  sink.add_line(line.data(), line.size());
}

SegmentRecord segment_at(const RecordReader& segments, std::size_t index) {
  return SegmentRecord::decode(segments.records() + index * SegmentRecord::kBytes);
}

// How the chunking ended: done, a failure, or (under CHUNKTOOLS_STRICT) at
// the first stream byte the data file lacks, whose chunk is not written.
enum class ChunkingEnd { kDone, kSegmentReadFailed, kDataReadFailed, kSignatureWriteFailed, kDataShort };

// Where the data file first ran short, if it did.
struct ShortData {
  bool happened = false;
  std::uint64_t from = 0;  // the stream position of the first byte it lacks
};

// Hashes the stream from where it stands to the end of every segment in the
// list, in list order, up to the first failure.
ChunkingEnd chunk_segments(RecordReader& segments, DataStream& stream, SignatureSink& sink,
                           std::uint64_t fptr, ProgressLine& progress, bool strict, ShortData* short_data) {
  std::uint64_t segment_number = 0;  // in the list, from 1
  std::uint64_t pos = fptr;      // stream position reached so far
  std::uint64_t total = 0;       // stream bytes taken so far
  std::uint64_t loaded = fptr;   // stream position the data stream has reached
  std::uint64_t needed = fptr;   // furthest end among the segments read so far
  for (;;) {
    std::size_t count;
    const ReadResult got = segments.next_block(&count);
    if (got == ReadResult::kError) return ChunkingEnd::kSegmentReadFailed;
    if (got == ReadResult::kEnd) return ChunkingEnd::kDone;
    // The data file may be read ahead as far as the segments in hand reach,
    // never further.
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t end = segment_at(segments, i).end();
      if (end > needed) needed = end;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const SegmentRecord segment = segment_at(segments, i);
      const std::uint64_t end = segment.end();
      ++segment_number;
      if (end <= pos) continue;
      std::uint64_t new_bytes = end - pos;
      total += new_bytes;
      pos = end;
      trace_segment(end, total, segment, sink);
      while (new_bytes > 0) {
        if (stream.available() == 0) {
          if (!stream.refill(needed - loaded)) return ChunkingEnd::kDataReadFailed;
          if (stream.padded() && !short_data->happened) {
            *short_data = ShortData{true, loaded};
            // The pending chunk would need the padding: it is not written.
            if (strict) return ChunkingEnd::kDataShort;
          }
          loaded += stream.available();
          progress.update(loaded - fptr, segment_number);
        }
        const std::size_t span =
            stream.available() < new_bytes ? stream.available() : static_cast<std::size_t>(new_bytes);
        if (!queue(sink, chunker.take(stream.next(), span, ended_chunks))) {
          return ChunkingEnd::kSignatureWriteFailed;
        }
        stream.consume(span);
        new_bytes -= span;
      }
      // No chunk spans a segment end.
      if (!queue(sink, chunker.end_segment(ended_chunks))) return ChunkingEnd::kSignatureWriteFailed;
    }
  }
}

#ifndef CHUNKSIG_REFERENCE_CHUNKER
// As chunk_segments(), with the chunks from worker threads: the same records,
// trace lines and ends. The padding the data file needed is in
// *padding_bytes, counted as one thread counts it. The segment list is read a
// block ahead, so that the workers go on into the next block's segments
// while this thread hands out the chunks of the last ones; the segments in
// hand are a copy.
ChunkingEnd chunk_segments_in_parallel(RecordReader& segments, ParallelChunking& chunking, SignatureSink& sink,
                                       std::uint64_t fptr, ProgressLine& progress, bool strict, ShortData* short_data,
                                       std::uint64_t* padding_bytes) {
  static std::uint64_t new_ends[kSegmentsPerRead];
  static unsigned char in_hand[kSegmentsPerRead * SegmentRecord::kBytes];
  std::uint64_t segment_number = 0;   // in the list, from 1
  std::uint64_t pos = fptr;           // stream position reached so far
  std::uint64_t total = 0;            // stream bytes taken so far
  std::uint64_t chunked = fptr;       // stream position the records have reached
  std::uint64_t needed = fptr;        // furthest end among the segments in hand and before
  std::uint64_t needed_ahead = fptr;  // the same, with the block read ahead
  std::uint64_t shown = 0;            // what the progress line last showed
  // Reads the next block of segments and gives the workers the ends that go
  // further, each a cut.
  const auto read_ahead = [&](std::size_t* count) {
    const ReadResult got = segments.next_block(count);
    if (got != ReadResult::kRecord) return got;
    std::size_t ends = 0;
    for (std::size_t i = 0; i < *count; ++i) {
      const std::uint64_t end = segment_at(segments, i).end();
      if (end > needed_ahead) {
        needed_ahead = end;
        new_ends[ends++] = end - fptr;
      }
    }
    chunking.add_segment_ends(new_ends, ends);
    return got;
  };
  std::size_t next_count = 0;
  ReadResult next = read_ahead(&next_count);
  // A failure to read the list is reported where one thread meets it: after
  // the segments before it.
  while (next == ReadResult::kRecord) {
    const std::size_t count = next_count;
    std::memcpy(in_hand, segments.records(), count * SegmentRecord::kBytes);
    needed = needed_ahead;
    next = read_ahead(&next_count);
    for (std::size_t i = 0; i < count; ++i) {
      const SegmentRecord segment = SegmentRecord::decode(in_hand + i * SegmentRecord::kBytes);
      const std::uint64_t end = segment.end();
      ++segment_number;
      if (end <= pos) continue;
      total += end - pos;
      pos = end;
      trace_segment(end, total, segment, sink);
      while (chunked < end) {
        SignatureRecord record;
        const ParallelChunking::Next got = chunking.next_chunk(strict, &record);
        if (got == ParallelChunking::Next::kReadFailed) return ChunkingEnd::kDataReadFailed;
        if (chunking.file_ended() && !short_data->happened) *short_data = ShortData{true, fptr + chunking.file_end()};
        if (got == ParallelChunking::Next::kPastFileEnd) {
          // One thread stops where it would first bring padding, a block's
          // worth of it at most.
          const std::uint64_t wanted = needed - short_data->from;
          *padding_bytes = wanted < DataStream::kBlock ? wanted : DataStream::kBlock;
          return ChunkingEnd::kDataShort;
        }
        if (chunking.taken_to() != shown) {
          shown = chunking.taken_to();
          progress.update(shown, segment_number);
        }
        if (!sink.add(record)) return ChunkingEnd::kSignatureWriteFailed;
        chunked += record.len;
      }
    }
  }
  if (next == ReadResult::kError) return ChunkingEnd::kSegmentReadFailed;
  if (short_data->happened) *padding_bytes = needed - short_data->from;
  return ChunkingEnd::kDone;
}
#endif

// The four paths, with the names a report gives them.
struct Paths {
  const char* base;
  const char* data;
  const char* segments;
  const char* signatures;
};

// The three inputs, open, and where the stream starts.
struct Inputs {
  FileIdentity base;
  std::uint64_t fptr;
  FileHandle data;
  FileHandle segments;
};

// Sizes the base file and opens the data file and the segment list; false,
// reported, on the first failure.
bool open_inputs(FailureReport& report, const StandardOutput& console, const Paths& paths, Inputs* inputs) {
  // Only sized: opened so that a FIFO with no writer cannot block the run.
  FileHandle base = FileHandle::open_to_size(paths.base);
  if (!base.is_open()) {
    report.file_failed(Operation::kOpen, "base file", paths.base, base.error());
    return false;
  }
  if (console.is(base.identity())) {
    report.console_is_file("base file", paths.base);
    return false;
  }
  inputs->base = base.identity();
  // A base file with no size (a pipe, say) gives no start position at all.
  if (!base.size(&inputs->fptr)) {
    report.file_failed(Operation::kSize, "base file", paths.base, base.error());
    return false;
  }
  base.close();  // only read, so nothing is lost should the close fail
  return open_input(report, console, "data file", paths.data, &inputs->data) &&
         open_input(report, console, "segment list", paths.segments, &inputs->segments);
}

// Creating the signature file truncates it: never let that hit an input that
// holds data, nor the file standard output writes to. False, reported, when
// the path names one of them.
bool may_create_signatures(FailureReport& report, const StandardOutput& console, const Paths& paths,
                           const Inputs& inputs) {
  const NamedInput named[] = {{"base file", paths.base, inputs.base},
                              {"data file", paths.data, inputs.data.identity()},
                              {"segment list", paths.segments, inputs.segments.identity()}};
  return may_create_output(report, &console, "signature file", paths.signatures, named, 3);
}

// Reports the failure, if any, that ended the chunking; `data_read_error` is
// the code of a failed read of the data file.
void report_chunking_end(FailureReport& report, ChunkingEnd end, const Paths& paths, const Inputs& inputs,
                         SystemError data_read_error, const FileHandle& signatures, const SignatureSink& sink) {
  switch (end) {
    case ChunkingEnd::kDone:
    case ChunkingEnd::kDataShort:  // reported with the warnings
      break;
    case ChunkingEnd::kSegmentReadFailed:
      report.file_failed(Operation::kRead, "segment list", paths.segments, inputs.segments.error());
      break;
    case ChunkingEnd::kDataReadFailed:
      report.file_failed(Operation::kRead, "data file", paths.data, data_read_error);
      break;
    case ChunkingEnd::kSignatureWriteFailed:
      report.write_failed("signature file", paths.signatures, signatures.error(), sink.torn_bytes());
      break;
  }
}

const ToolUsage kUsage{
    "chunksig", "[-j N] BASE DATA SEGMENTS SIGNATURES",
    "Cuts the stream bytes that a segment list reaches into content-defined\n"
    "chunks and writes one 10-byte signature record per chunk. Prints\n"
    "fptr=START and one trace line per segment that brings new bytes.\n"
    "\n"
    "  BASE         a file whose size is where the stream starts (fptr): the\n"
    "               bytes signed before; /dev/null (NUL) for the first run\n"
    "  DATA         the stream's bytes from fptr on\n"
    "  SEGMENTS     the segment list: 10-byte records, one per region written\n"
    "               (seglist makes one)\n"
    "  SIGNATURES   the signature file to write, created or truncated\n"
    "\n"
    "  -j N, --jobs=N  sign with N threads (0: one per online CPU, 256 at\n"
    "               most); the output is byte for byte that of one. Default 1:\n"
    "               no thread is started and no memory allocated; N > 1 takes\n"
    "               about 2.6 MiB per thread.\n"
    "\n"
    "Exit status: 0 done, 1 anything went wrong.\n",
    "  CHUNKTOOLS_CPU_TIER=T  run at most the kernel tier T (--version names them)\n"
    "  CHUNKTOOLS_JOBS=N      as -j N, when -j is not given\n"
    "  CHUNKTOOLS_PROGRESS=0  no progress line on a terminal's standard error\n",
    1, describe_cpu_tiers};

constexpr unsigned kMostJobs = ParallelChunking::kMostWorkers;

// A number of threads, 0 to kMostJobs, in decimal; false for anything else.
bool parse_jobs(const char* text, unsigned* jobs) {
  unsigned value = 0;
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(*text) - '0');
    if (digit > 9) return false;
    value = value * 10 + digit;
    if (value > kMostJobs) return false;
  }
  *jobs = value;
  return true;
}

// The options before the paths: -j N, -jN and --jobs=N (the last one given
// counts), "--" to end them. Takes them out of argc and argv. *jobs is 0
// when none was given (then CHUNKTOOLS_JOBS counts, then 1). False, reported,
// for a bad number.
bool take_options(FailureReport& report, int& argc, char**& argv, bool options_ended, unsigned* jobs, bool* given) {
  *given = false;
  while (!options_ended && argc > 1) {
    const char* option = argv[1];
    const char* value = nullptr;
    int taken = 1;
    if (std::strcmp(option, "--") == 0) {
      options_ended = true;
    } else if (std::strcmp(option, "-j") == 0) {
      value = argc > 2 ? argv[2] : "";
      taken = argc > 2 ? 2 : 1;
    } else if (std::strncmp(option, "-j", 2) == 0) {
      value = option + 2;
    } else if (std::strncmp(option, "--jobs=", 7) == 0) {
      value = option + 7;
    } else {
      break;
    }
    if (value != nullptr) {
      if (!parse_jobs(value, jobs)) {
        report.bad_argument("the number of threads must be 0 to 256, not", value);
        return false;
      }
      *given = true;
    }
    argv[taken] = argv[0];
    argv += taken;
    argc -= taken;
  }
  return true;
}

// The threads asked for: the option, else CHUNKTOOLS_JOBS, else 1; 0 means
// one per online CPU. False, reported, for a bad CHUNKTOOLS_JOBS.
bool jobs_asked(FailureReport& report, unsigned option_jobs, bool option_given, unsigned* jobs) {
  *jobs = 1;
  if (option_given) {
    *jobs = option_jobs;
  } else if (const char* setting = std::getenv("CHUNKTOOLS_JOBS")) {
    if (!parse_jobs(setting, jobs)) {
      report.bad_argument("CHUNKTOOLS_JOBS must be a number of threads, 0 to 256, not", setting);
      return false;
    }
  }
  if (*jobs == 0) *jobs = online_cpus() < kMostJobs ? online_cpus() : kMostJobs;
  return true;
}

}  // namespace

int run_chunksig(int argc, char** argv) {
  int exit_code;
  bool options_ended = false;
  if (answer_usage_request(kUsage, argc, argv, &exit_code, &options_ended)) return exit_code;
  FailureReport report(kUsage);
  unsigned option_jobs = 1, jobs = 1;
  bool option_given = false;
  if (!take_options(report, argc, argv, options_ended, &option_jobs, &option_given) ||
      !jobs_asked(report, option_jobs, option_given, &jobs)) {
    return report.exit_code();
  }
  if (argc < 5) return report.too_few_arguments();
  SystemError error = 0;
  if (!console_start(&error)) return report.start_failed(error);
  const Paths paths{argv[1], argv[2], argv[3], argv[4]};
  const StandardOutput console = StandardOutput::examine();

  Inputs inputs{};
  if (!open_inputs(report, console, paths, &inputs)) return report.exit_code();
  if (!may_create_signatures(report, console, paths, inputs)) return report.exit_code();
  FileHandle signatures = FileHandle::create_write(paths.signatures);
  if (!signatures.is_open()) {
    return report.file_failed(Operation::kCreate, "signature file", paths.signatures, signatures.error());
  }

  print_fptr(inputs.fptr);
  chunker.start();
  RecordReader segments(inputs.segments, segment_records, SegmentRecord::kBytes, kSegmentsPerRead);
  DataStream stream(inputs.data, stream_buffer);
  SignatureSink sink(signatures, sink_buffers);
  ProgressLine progress;
  progress.start(kUsage.tool);
  ShortData short_data;
  const bool strict = FailureReport::strict_mode();
  ChunkingEnd end;
  std::uint64_t padding_bytes = 0;
  SystemError data_read_error = 0;
#ifndef CHUNKSIG_REFERENCE_CHUNKER
  // With -j, worker threads chunk and this one writes the records. When the
  // system will not give the memory or a thread, this one signs alone.
  // A regular file (opened afresh, so read from its start) is read with
  // positioned reads, side by side; anything else in order.
  ParallelChunking parallel(inputs.data, inputs.data.identity().kind == FileKind::kRegular
                                             ? ParallelChunking::Reads::kPositioned
                                             : ParallelChunking::Reads::kInOrder);
  // The kernel buffer asked for a data pipe with -j: a MiB, the most Linux
  // grants an unprivileged process by default.
  constexpr std::size_t kPipeBuffer = 1024 * 1024;
  if (jobs > 1) inputs.data.enlarge_pipe_buffer(kPipeBuffer);
  if (jobs > 1 && parallel.start(jobs - 1, chosen_cpu_tier()) > 0) {
    end = chunk_segments_in_parallel(segments, parallel, sink, inputs.fptr, progress, strict, &short_data,
                                     &padding_bytes);
    data_read_error = parallel.read_error();
    parallel.finish();
  } else
#endif
  {
    end = chunk_segments(segments, stream, sink, inputs.fptr, progress, strict, &short_data);
    padding_bytes = stream.padding_bytes();
    data_read_error = inputs.data.error();
  }
  progress.finish();
  report_chunking_end(report, end, paths, inputs, data_read_error, signatures, sink);
  // Records of chunks finished before a failure are kept, as written; the
  // file is closed and standard output checked whatever happened before.
  if (!sink.flush()) report.write_failed("signature file", paths.signatures, signatures.error(), sink.torn_bytes());
  if (!signatures.close()) {
    report.file_failed(Operation::kClose, "signature file", paths.signatures, signatures.error());
  }
  // What was taken as documented but a script may want to know of, after the
  // lines it concerns: warnings, or under CHUNKTOOLS_STRICT failures (the
  // short data stopped the run where it began).
  if (end == ChunkingEnd::kDone && segments.stray_bytes() > 0) {
    report.partial_record("segment list", paths.segments, segments.stray_bytes());
  }
  if (short_data.happened && (end == ChunkingEnd::kDone || end == ChunkingEnd::kDataShort)) {
    report.short_data("data file", paths.data, padding_bytes, short_data.from);
  }
  console_finish(report);
  return report.exit_code();
}
