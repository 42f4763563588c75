// The parts of the file layer that every platform shares, built on read_some.
#include "file_handle.h"

int FileHandle::read_byte() {
  unsigned char byte;
  const std::ptrdiff_t got = read_some(&byte, 1);
  if (got == 1) return byte;
  return got == 0 ? kEndOfFile : kReadError;
}

ReadResult FileHandle::read_record(void* buffer, std::size_t count) {
  unsigned char* bytes = static_cast<unsigned char*>(buffer);
  std::size_t have = 0;
  while (have < count) {
    const std::ptrdiff_t got = read_some(bytes + have, count - have);
    if (got < 0) return ReadResult::kError;
    if (got == 0) return ReadResult::kEnd;
    have += static_cast<std::size_t>(got);
  }
  return ReadResult::kRecord;
}
