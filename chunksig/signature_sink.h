// Collects signature records, and the console line of each segment, and
// writes them out together in large writes: when the record buffer fills and
// before the run ends.
//
// A segment's line is held until its records are written. Should a write come
// up short, only the lines of segments up to the one whose record failed go
// out, so the console and the signature file end exactly as they would have
// had every record been written the moment its chunk ended; the file is then
// cut back to its last whole record.
#ifndef CHUNKSIG_SIGNATURE_SINK_H
#define CHUNKSIG_SIGNATURE_SINK_H

#include <cstddef>
#include <cstdint>

#include "common/file_handle.h"
#include "records/records.h"

class SignatureSink {
 public:
  // Records per write at most: 64,000 bytes, so that a signature file goes
  // out in writes of about 64 KiB, whatever the chunks' lengths.
  static constexpr std::size_t kCapacity = 64000 / SignatureRecord::kBytes;
  static constexpr std::size_t kLongestLine = 64;

  // Every held line belongs to a segment with at least one record (a segment
  // that brings bytes ends a chunk), so one more line than records at most.
  struct HeldLine {
    std::size_t text_end;      // offset in `text` just past the line
    std::size_t first_record;  // records queued before the segment's first
  };
  struct Buffers {
    unsigned char records[kCapacity][SignatureRecord::kBytes];
    HeldLine lines[kCapacity + 1];
    char text[(kCapacity + 1) * kLongestLine];
  };

  // `buffers` outlive the sink; the tools pass static ones.
  SignatureSink(FileHandle& file, Buffers& buffers) : file_(file), held_(buffers) {}

  // Holds the console line of a segment whose records come next.
  void add_line(const char* text, std::size_t length);
  // Queues one record; false when a write it caused came up short.
  bool add(const SignatureRecord& record);
  // Writes every queued record and then the lines they allow; false when the
  // write came up short.
  bool flush();
  // After a failed add() or flush(): the bytes of a partial record the file
  // could not be cut back from (a pipe, a device), else 0.
  std::size_t torn_bytes() const { return torn_bytes_; }

 private:
  FileHandle& file_;
  Buffers& held_;
  std::size_t records_ = 0;
  std::size_t lines_ = 0;
  std::size_t text_size_ = 0;
  std::uint64_t written_ = 0;  // bytes written since the file was created
  std::size_t torn_bytes_ = 0;
};

#endif  // CHUNKSIG_SIGNATURE_SINK_H
