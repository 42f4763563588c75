// A sliding window over a file of 10-byte signature records, read in large
// blocks: the next records of OLD that sigdiff expects NEW to repeat.
#ifndef SIGDIFF_RECORD_WINDOW_H
#define SIGDIFF_RECORD_WINDOW_H

#include <cstddef>

#include "common/file_handle.h"

class RecordWindow {
 public:
  static constexpr std::size_t kRecordBytes = 10;

  // `buffer` holds `capacity` bytes (several blocks of records) and outlives
  // the window; the tools pass static arrays.
  RecordWindow(FileHandle& file, unsigned char* buffer, std::size_t capacity)
      : file_(file), buffer_(buffer), capacity_(capacity) {}

  // Reads on until at least `count` whole records are in the window or the
  // file has ended; false on a read error. A partial last record is dropped.
  bool fill(std::size_t count) { return available() >= count || refill(count); }
  std::size_t available() const { return (end_ - begin_) / kRecordBytes; }
  const unsigned char* record(std::size_t i) const { return buffer_ + begin_ + i * kRecordBytes; }
  void drop(std::size_t count) { begin_ += count * kRecordBytes; }

 private:
  bool refill(std::size_t count);

  FileHandle& file_;
  unsigned char* buffer_;
  std::size_t capacity_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
};

#endif  // SIGDIFF_RECORD_WINDOW_H
