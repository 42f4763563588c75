// chunksig BASE DATA SEGMENTS SIGNATURES
//
// Cuts the stream bytes that the segment list reaches into content-defined
// chunks and writes one signature record per chunk. Silent on failure: the exit
// code alone tells (0 done, 1 anything went wrong), unless CHUNKTOOLS_VERBOSE
// asks for the reason.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "chunksig_command.h"
#include "console.h"
#include "data_stream.h"
#include "failure_report.h"
#include "file_handle.h"
#include "record_reader.h"
#include "records.h"
#include "signature_sink.h"
#include "text_buffer.h"

#ifdef CHUNKSIG_REFERENCE_CHUNKER
#include "reference_chunker.h"
using Chunker = ReferenceChunker;
#else
#include "fast_chunker.h"
using Chunker = FastChunker;
#endif
static_assert(DataStream::kBlock <= Chunker::kMaxSpan, "spans must fit the chunker");

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

enum class ChunkingEnd { kDone, kSegmentReadFailed, kDataReadFailed, kSignatureWriteFailed };

// Hashes the stream from where it stands to the end of every segment in the
// list, in list order, up to the first failure.
ChunkingEnd chunk_segments(RecordReader& segments, DataStream& stream, SignatureSink& sink,
                           std::uint64_t fptr) {
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
      if (end <= pos) continue;
      std::uint64_t new_bytes = end - pos;
      total += new_bytes;
      pos = end;
      trace_segment(end, total, segment, sink);
      while (new_bytes > 0) {
        if (stream.available() == 0) {
          if (!stream.refill(needed - loaded)) return ChunkingEnd::kDataReadFailed;
          loaded += stream.available();
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

// The four paths, with the names a report gives them.
struct Paths {
  const char* base;
  const char* data;
  const char* segments;
  const char* signatures;
};

// Whether standard output is the open input `file`: the tool would read its
// own output back, or (a FIFO) take its input's bytes away.
bool console_is(const FileHandle& file, const FileIdentity& console, bool console_known) {
  return console_known && console.holds_data() && file.identity().same_object(console);
}

}  // namespace

int run_chunksig(int argc, char** argv) {
  FailureReport report("chunksig");
  if (argc < 5) return report.too_few_arguments("BASE DATA SEGMENTS SIGNATURES");
  SystemError error = 0;
  if (!console_start(&error)) return report.start_failed(error);
  const Paths paths{argv[1], argv[2], argv[3], argv[4]};
  FileIdentity console;
  const bool console_known = FileHandle::standard_output_identity(&console);

  FileHandle base = FileHandle::open_to_size(paths.base);
  if (!base.is_open()) return report.file_failed(Operation::kOpen, "base file", paths.base, base.error());
  if (console_is(base, console, console_known)) return report.console_is_file("base file", paths.base);
  const FileIdentity base_identity = base.identity();
  std::uint64_t fptr;
  // A base file with no size (a pipe, say) gives no start position at all.
  if (!base.size(&fptr)) return report.file_failed(Operation::kSize, "base file", paths.base, base.error());
  base.close();  // only read, so nothing is lost should the close fail

  FileHandle data = FileHandle::open_read(paths.data);
  if (!data.is_open()) return report.file_failed(Operation::kOpen, "data file", paths.data, data.error());
  if (console_is(data, console, console_known)) return report.console_is_file("data file", paths.data);
  FileHandle segment_list = FileHandle::open_read(paths.segments);
  if (!segment_list.is_open()) {
    return report.file_failed(Operation::kOpen, "segment list", paths.segments, segment_list.error());
  }
  if (console_is(segment_list, console, console_known)) {
    return report.console_is_file("segment list", paths.segments);
  }
  // Creating the signature file truncates it: never let that hit an input
  // that holds data, nor the file standard output writes to.
  FileIdentity target;
  if (FileHandle::identity_of_path(paths.signatures, &target) && target.holds_data()) {
    if (target.same_object(base_identity)) {
      return report.signature_is_input(paths.signatures, "base file", paths.base);
    }
    if (target.same_object(data.identity())) {
      return report.signature_is_input(paths.signatures, "data file", paths.data);
    }
    if (target.same_object(segment_list.identity())) {
      return report.signature_is_input(paths.signatures, "segment list", paths.segments);
    }
    if (console_known && target.same_object(console)) {
      return report.console_is_file("signature file", paths.signatures);
    }
  }
  FileHandle signatures = FileHandle::create_write(paths.signatures);
  if (!signatures.is_open()) {
    return report.file_failed(Operation::kCreate, "signature file", paths.signatures, signatures.error());
  }

  print_fptr(fptr);
  chunker.start();
  RecordReader segments(segment_list, segment_records, SegmentRecord::kBytes, kSegmentsPerRead);
  DataStream stream(data, stream_buffer);
  SignatureSink sink(signatures, sink_buffers);
  switch (chunk_segments(segments, stream, sink, fptr)) {
    case ChunkingEnd::kDone:
      break;
    case ChunkingEnd::kSegmentReadFailed:
      report.file_failed(Operation::kRead, "segment list", paths.segments, segment_list.error());
      break;
    case ChunkingEnd::kDataReadFailed:
      report.file_failed(Operation::kRead, "data file", paths.data, data.error());
      break;
    case ChunkingEnd::kSignatureWriteFailed:
      report.file_failed(Operation::kWrite, "signature file", paths.signatures, signatures.error());
      break;
  }
  // Records of chunks finished before a failure are kept, as written; the
  // file is closed and standard output checked whatever happened before.
  if (!sink.flush()) {
    report.file_failed(Operation::kWrite, "signature file", paths.signatures, signatures.error());
  }
  if (!signatures.close()) {
    report.file_failed(Operation::kClose, "signature file", paths.signatures, signatures.error());
  }
  Operation failed;
  if (!console_finish(&failed, &error)) report.console_failed(failed, error);
  return report.exit_code();
}
