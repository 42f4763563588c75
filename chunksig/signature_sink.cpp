#include "signature_sink.h"

#include <cstring>

#include "console.h"

namespace {

unsigned char pending[SignatureSink::kCapacity][SignatureRecord::kBytes];

// Every held line belongs to a segment with at least one record (a segment
// that brings bytes ends a chunk), so one more line than records at most.
struct HeldLine {
  std::size_t text_end;      // offset in `held_text` just past the line
  std::size_t first_record;  // records queued before the segment's first
};
HeldLine held_lines[SignatureSink::kCapacity + 1];
char held_text[(SignatureSink::kCapacity + 1) * SignatureSink::kLongestLine];

}  // namespace

void SignatureSink::add_line(const char* text, std::size_t length) {
  std::memcpy(held_text + text_size_, text, length);
  text_size_ += length;
  held_lines[lines_++] = HeldLine{text_size_, records_};
}

bool SignatureSink::add(const SignatureRecord& record) {
  record.encode(pending[records_]);
  ++records_;
  return records_ < kCapacity || flush();
}

bool SignatureSink::flush() {
  const std::size_t bytes = records_ * SignatureRecord::kBytes;
  const std::size_t written = bytes == 0 ? 0 : file_.write_all(pending, bytes);
  // The record that failed, if any, and every line printed before it.
  const std::size_t failed_record = written / SignatureRecord::kBytes;
  std::size_t lines_out = lines_;
  if (written != bytes) {
    lines_out = 0;
    while (lines_out < lines_ && held_lines[lines_out].first_record <= failed_record) ++lines_out;
  }
  if (lines_out > 0) console_write(held_text, held_lines[lines_out - 1].text_end);
  records_ = lines_ = text_size_ = 0;
  return written == bytes;
}
