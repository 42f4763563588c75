#include "sigdiff/record_window.h"

#include <cstring>

bool RecordWindow::refill(std::size_t count) {
  if (ended_) return true;
  // What is left moves to the front, so that a whole block fits behind it.
  std::memmove(buffer_, buffer_ + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (available() < count && end_ < capacity_) {
    const std::ptrdiff_t got = file_.read_some(buffer_ + end_, capacity_ - end_);
    if (got < 0) return false;
    if (got == 0) {
      ended_ = true;
      break;
    }
    end_ += static_cast<std::size_t>(got);
  }
  return true;
}
