// Writes a file of fixed-size records in large writes: records are gathered
// in a buffer and written when it fills and at flush(). The file never ends
// in part of a record: after a write that comes up short, it is cut back to
// its last whole record.
#ifndef COMMON_RECORD_WRITER_H
#define COMMON_RECORD_WRITER_H

#include <cstddef>
#include <cstdint>

#include "common/file_handle.h"

// After a short write to `file`, which then held `written` bytes from its
// start: cuts it back to the last whole record of `record_size` bytes.
// Returns the bytes of a partial record left in place: 0 when none was
// written or the cut worked, else the part that could not be taken back (a
// pipe, a device).
std::size_t cut_back_to_whole_records(FileHandle& file, std::uint64_t written, std::size_t record_size);

class RecordWriter {
 public:
  // `buffer` holds `capacity` bytes, a whole number of records, and outlives
  // the writer; the tools pass static arrays.
  RecordWriter(FileHandle& file, std::size_t record_size, unsigned char* buffer, std::size_t capacity)
      : file_(file), record_size_(record_size), buffer_(buffer), capacity_(capacity) {}

  // Queues `size` bytes (one record, at most the capacity); false when a
  // write it caused came up short.
  bool add(const unsigned char* record, std::size_t size);
  // Writes every queued byte; false when the write came up short.
  bool flush();
  // After a failed add() or flush(): the bytes of a partial record the file
  // could not be cut back from (see cut_back_to_whole_records).
  std::size_t torn_bytes() const { return torn_bytes_; }

 private:
  FileHandle& file_;
  std::size_t record_size_;
  unsigned char* buffer_;
  std::size_t capacity_;
  std::size_t size_ = 0;
  std::uint64_t written_ = 0;  // bytes written since the file was created
  std::size_t torn_bytes_ = 0;
};

#endif  // COMMON_RECORD_WRITER_H
