// Reads a file of fixed-size records in blocks of whole records, so that a
// regular file costs one platform call per block rather than one per record.
#ifndef COMMON_RECORD_READER_H
#define COMMON_RECORD_READER_H

#include <cstddef>

#include "common/file_handle.h"

// Outcome of reading a block of fixed-size records.
enum class ReadResult {
  kRecord,  // at least one whole record came back
  kEnd,     // the file ended first; a partial last record is consumed and dropped
  kError,   // the platform reported a read error
};

class RecordReader {
 public:
  // `buffer` holds `capacity` records of `record_size` bytes and outlives the
  // reader; the tools pass static arrays.
  RecordReader(FileHandle& file, unsigned char* buffer, std::size_t record_size,
               std::size_t capacity);

  // The next block of whole records, left at records():
  //   kRecord  with *count >= 1,
  //   kEnd     when the file has ended (a partial last record is dropped),
  //   kError   when the platform reported a read error.
  // Records read before an error or an end come back first; the error or end
  // follows on the next call, which makes no further platform call.
  ReadResult next_block(std::size_t* count);

  const unsigned char* records() const { return buffer_; }
  // After kEnd: the bytes of a partial last record that were dropped (0 when
  // the file ended on a record boundary).
  std::size_t stray_bytes() const { return stray_bytes_; }

 private:
  FileHandle& file_;
  unsigned char* buffer_;
  std::size_t record_size_;
  std::size_t capacity_bytes_;
  bool ended_ = false;
  bool failed_ = false;
  std::size_t stray_bytes_ = 0;
};

#endif  // COMMON_RECORD_READER_H
