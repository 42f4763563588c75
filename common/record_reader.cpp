#include "common/record_reader.h"

RecordReader::RecordReader(FileHandle& file, unsigned char* buffer, std::size_t record_size,
                           std::size_t capacity)
    : file_(file), buffer_(buffer), record_size_(record_size),
      capacity_bytes_(record_size * capacity) {}

ReadResult RecordReader::next_block(std::size_t* count) {
  *count = 0;
  std::size_t have = 0;
  // Stop at the first record boundary: a regular file fills the buffer in one
  // call, while a pipe hands over each record as soon as it is whole.
  while (!ended_ && !failed_) {
    const std::ptrdiff_t got = file_.read_some(buffer_ + have, capacity_bytes_ - have);
    if (got < 0) {
      failed_ = true;
    } else if (got == 0) {
      ended_ = true;
      stray_bytes_ = have % record_size_;
    } else {
      have += static_cast<std::size_t>(got);
      if (have % record_size_ == 0) break;
    }
  }
  *count = have / record_size_;
  if (*count > 0) return ReadResult::kRecord;
  return failed_ ? ReadResult::kError : ReadResult::kEnd;
}
