// chunksig BASE DATA SEGMENTS SIGNATURES
//
// Cuts the stream bytes that the segment list reaches into content-defined
// chunks and writes one signature record per chunk. Silent on failure: the exit
// code alone tells (0 done, 1 anything went wrong).
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "chunk_hasher.h"
#include "chunksig_command.h"
#include "console.h"
#include "cut_rule.h"
#include "file_handle.h"
#include "records.h"

namespace {

ChunkHasher hasher;

// Seals the pending chunk and writes its signature; true when it was written
// whole.
bool write_chunk(FileHandle& signatures) {
  hasher.seal();
  const SignatureRecord record{hasher.sealed.crc_plus1, hasher.sealed.crc_plain,
                               static_cast<std::uint16_t>(hasher.sealed.count)};
  unsigned char bytes[SignatureRecord::kBytes];
  record.encode(bytes);
  return signatures.write_record(bytes, sizeof bytes) == 0;
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
  FileHandle segments = FileHandle::open_read(argv[3]);
  if (!segments.is_open()) return 1;
  // Creating the signature file truncates it: never let that hit an input.
  const char* signature_path = argv[4];
  if (FileHandle::path_names(signature_path, base_identity) ||
      FileHandle::path_names(signature_path, data.identity()) ||
      FileHandle::path_names(signature_path, segments.identity())) {
    return 1;
  }
  FileHandle signatures = FileHandle::create_write(signature_path);
  if (!signatures.is_open()) return 1;

  std::printf("fptr=%" PRIi64 "\n", static_cast<std::int64_t>(fptr));
  hasher.init(ChunkHasher::kWindow);

  std::uint64_t pos = fptr;   // stream position reached so far
  std::uint64_t total = 0;    // stream bytes taken so far
  bool data_ended = false;    // once ended, every further byte is missing
  for (;;) {
    unsigned char segment_bytes[SegmentRecord::kBytes];
    std::memset(segment_bytes, 0, sizeof segment_bytes);
    const ReadResult got = segments.read_record(segment_bytes, sizeof segment_bytes);
    if (got == ReadResult::kError) return 1;
    if (got == ReadResult::kEnd) break;

    const SegmentRecord segment = SegmentRecord::decode(segment_bytes);
    const std::uint64_t end = segment.end();
    if (end <= pos) continue;
    const std::uint64_t new_bytes = end - pos;
    total += new_bytes;
    pos = end;
    std::printf("%08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " !!!\n",
                static_cast<std::uint32_t>(end), static_cast<std::uint32_t>(total), segment.len,
                static_cast<std::uint32_t>(segment.ofs), static_cast<std::uint32_t>(end));

    for (std::uint64_t i = 0; i < new_bytes; ++i) {
      // A byte the data file does not have is hashed as 0xFF.
      int byte = FileHandle::kEndOfFile;
      if (!data_ended) {
        byte = data.read_byte();
        if (byte == FileHandle::kReadError) return 1;
        data_ended = byte == FileHandle::kEndOfFile;
      }
      hasher.push(byte);
      if (ends_chunk(hasher.roll, hasher.count) && !write_chunk(signatures)) return 1;
    }
    // No chunk spans a segment end.
    if (hasher.count != 0 && !write_chunk(signatures)) return 1;
  }
  return console_finish() ? 0 : 1;
}
