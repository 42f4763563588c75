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
  const std::size_t put = file_.write_all(buffer_, queued);
  written_ += put;
  if (put == queued) return true;
  torn_bytes_ = cut_back_to_whole_records(file_, written_, record_size_);
  return false;
}

std::size_t cut_back_to_whole_records(FileHandle& file, std::uint64_t written, std::size_t record_size) {
  const std::size_t partial = static_cast<std::size_t>(written % record_size);
  if (partial == 0 || file.truncate(written - partial)) return 0;
  return partial;
}
