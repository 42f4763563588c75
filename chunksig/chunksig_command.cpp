// chunksig BASE DATA SEGMENTS SIGNATURES
//
// Cuts the stream bytes that the segment list reaches into content-defined
// chunks and writes one signature record per chunk. Silent on failure: the exit
// code alone tells (0 done, 1 anything went wrong).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "chunksig_command.h"
#include "console.h"
#include "data_stream.h"
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
static_assert(DataStream::kBlock <= FastChunker::kMaxSpan, "spans must fit the chunker");
#endif

namespace {

constexpr std::size_t kSegmentsPerRead = 4096;

unsigned char segment_records[kSegmentsPerRead * SegmentRecord::kBytes];
Chunker chunker;

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

SegmentRecord segment_at(std::size_t index) {
  return SegmentRecord::decode(segment_records + index * SegmentRecord::kBytes);
}

// Hashes the stream from where it stands to the end of every segment in the
// list, in list order. False on any read or write failure.
bool chunk_segments(RecordReader& segments, DataStream& stream, SignatureSink& sink,
                    std::uint64_t fptr) {
  std::uint64_t pos = fptr;      // stream position reached so far
  std::uint64_t total = 0;       // stream bytes taken so far
  std::uint64_t loaded = fptr;   // stream position the data stream has reached
  std::uint64_t needed = fptr;   // furthest end among the segments read so far
  for (;;) {
    std::size_t count;
    const ReadResult got = segments.next_block(&count);
    if (got == ReadResult::kError) return false;
    if (got == ReadResult::kEnd) return true;
    // The data file may be read ahead as far as the segments in hand reach,
    // never further.
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t end = segment_at(i).end();
      if (end > needed) needed = end;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const SegmentRecord segment = segment_at(i);
      const std::uint64_t end = segment.end();
      if (end <= pos) continue;
      std::uint64_t new_bytes = end - pos;
      total += new_bytes;
      pos = end;
      trace_segment(end, total, segment, sink);
      while (new_bytes > 0) {
        if (stream.available() == 0) {
          if (!stream.refill(needed - loaded)) return false;
          loaded += stream.available();
        }
        const std::size_t span =
            stream.available() < new_bytes ? stream.available() : static_cast<std::size_t>(new_bytes);
        if (!chunker.take(stream.next(), span, sink)) return false;
        stream.consume(span);
        new_bytes -= span;
      }
      // No chunk spans a segment end.
      if (!chunker.end_segment(sink)) return false;
    }
  }
}

}  // namespace

int run_chunksig(int argc, char** argv) {
  if (argc < 5) return 1;
  if (!console_start()) return 1;

  FileHandle base = FileHandle::open_read(argv[1]);
  if (!base.is_open()) return 1;
  const FileIdentity base_identity = base.identity();
  const std::uint64_t fptr = base.size();
  base.close();

  FileHandle data = FileHandle::open_read(argv[2]);
  if (!data.is_open()) return 1;
  FileHandle segment_list = FileHandle::open_read(argv[3]);
  if (!segment_list.is_open()) return 1;
  // Creating the signature file truncates it: never let that hit an input.
  const char* signature_path = argv[4];
  if (FileHandle::path_names(signature_path, base_identity) ||
      FileHandle::path_names(signature_path, data.identity()) ||
      FileHandle::path_names(signature_path, segment_list.identity())) {
    return 1;
  }
  FileHandle signatures = FileHandle::create_write(signature_path);
  if (!signatures.is_open()) return 1;

  print_fptr(fptr);
  chunker.start();
  RecordReader segments(segment_list, segment_records, SegmentRecord::kBytes, kSegmentsPerRead);
  DataStream stream(data);
  SignatureSink sink(signatures);
  const bool chunked = chunk_segments(segments, stream, sink, fptr);
  // Records of chunks finished before a failure are kept, as written.
  const bool flushed = sink.flush();
  if (!chunked || !flushed) return 1;
  return console_finish() ? 0 : 1;
}
