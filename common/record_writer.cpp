#include "common/record_writer.h"

#include <cstring>

bool RecordWriter::add(const unsigned char* record, std::size_t size) {
  if (capacity_ - size_ < size && !flush()) return false;
  std::memcpy(buffer_ + size_, record, size);
  size_ += size;
  return true;
}

bool RecordWriter::flush() {
  const std::size_t queued = size_;
  size_ = 0;
  return file_.write_all(buffer_, queued) == queued;
}
