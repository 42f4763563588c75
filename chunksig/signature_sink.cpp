#include "chunksig/signature_sink.h"

#include <cstring>

#include "common/console.h"
#include "common/record_writer.h"

void SignatureSink::add_line(const char* text, std::size_t length) {
  std::memcpy(held_.text + text_size_, text, length);
  text_size_ += length;
  held_.lines[lines_++] = HeldLine{text_size_, records_};
}

bool SignatureSink::add(const SignatureRecord& record) {
  record.encode(held_.records[records_]);
  ++records_;
  return records_ < kCapacity || flush();
}

bool SignatureSink::flush() {
  const std::size_t bytes = records_ * SignatureRecord::kBytes;
  const std::size_t written = bytes == 0 ? 0 : file_.write_all(held_.records, bytes);
  written_ += written;
  if (written != bytes) torn_bytes_ = cut_back_to_whole_records(file_, written_, SignatureRecord::kBytes);
  // The record that failed, if any, and every line printed before it.
  const std::size_t failed_record = written / SignatureRecord::kBytes;
  std::size_t lines_out = lines_;
  if (written != bytes) {
    lines_out = 0;
    while (lines_out < lines_ && held_.lines[lines_out].first_record <= failed_record) ++lines_out;
  }
  if (lines_out > 0) console_write(held_.text, held_.lines[lines_out - 1].text_end);
  records_ = lines_ = text_size_ = 0;
  return written == bytes;
}
