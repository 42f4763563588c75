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
