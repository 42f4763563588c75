#include "chunksig/data_stream.h"

#include <cstring>

const unsigned char* DataStream::next() const { return buffer_ + consumed_; }

bool DataStream::refill(std::uint64_t limit) {
  // Keep the last bytes as history and start the block afresh.
  std::memmove(buffer_, buffer_ + filled_ - kHistory, kHistory);
  filled_ = consumed_ = kHistory;
  const std::size_t wanted = limit < kBlock ? static_cast<std::size_t>(limit) : kBlock;
  if (!file_ended_) {
    const std::ptrdiff_t got = file_.read_some(buffer_ + kHistory, wanted);
    if (got < 0) return false;
    if (got > 0) {
      filled_ += static_cast<std::size_t>(got);
      return true;
    }
    // Once ended, the file is never read again.
    file_ended_ = true;
  }
  std::memset(buffer_ + kHistory, 0xFF, wanted);
  filled_ += wanted;
  padded_ = true;
  padding_bytes_ += wanted;
  return true;
}
