// The parts of the file layer that every platform shares.
#include "common/file_handle.h"

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    error_ = other.error_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

std::ptrdiff_t FileHandle::read_at(std::uint64_t offset, void* buffer, std::size_t count) {
  unsigned char* next = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::ptrdiff_t got = read_some_at(offset + done, next + done, count - done, &error_);
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::ptrdiff_t>(done);
}
