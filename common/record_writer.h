// Writes a file of fixed-size records in large writes: records are gathered
// in a buffer and written when it fills and at flush().
#ifndef COMMON_RECORD_WRITER_H
#define COMMON_RECORD_WRITER_H

#include <cstddef>

#include "common/file_handle.h"

class RecordWriter {
 public:
  // `buffer` holds `capacity` bytes, a whole number of records, and outlives
  // the writer; the tools pass static arrays.
  RecordWriter(FileHandle& file, unsigned char* buffer, std::size_t capacity)
      : file_(file), buffer_(buffer), capacity_(capacity) {}

  // Queues `size` bytes (one record, at most the capacity); false when a
  // write it caused came up short.
  bool add(const unsigned char* record, std::size_t size);
  // Writes every queued byte; false when the write came up short.
  bool flush();

 private:
  FileHandle& file_;
  unsigned char* buffer_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

#endif  // COMMON_RECORD_WRITER_H
