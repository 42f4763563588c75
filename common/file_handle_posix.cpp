// POSIX backend of the file layer.
#include "file_handle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

static_assert(sizeof(off_t) == 8, "file offsets must be 64-bit, even in 32-bit builds");

FileHandle FileHandle::open_read(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return FileHandle(-1);
  // Opening a directory for reading succeeds here but fails on other
  // platforms; a directory is never a usable input.
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return FileHandle(-1);
  }
  return FileHandle(fd);
}

FileHandle FileHandle::create_write(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return FileHandle(fd < 0 ? -1 : fd);
}

bool FileHandle::path_names(const char* path, const FileIdentity& identity) {
  struct stat info;
  if (::stat(path, &info) != 0) return false;
  return static_cast<std::uint64_t>(info.st_dev) == identity.device &&
         static_cast<std::uint64_t>(info.st_ino) == identity.file;
}

FileIdentity FileHandle::identity() const {
  struct stat info;
  if (::fstat(handle_, &info) != 0) return FileIdentity{~0ULL, ~0ULL};
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

std::uint64_t FileHandle::size() {
  const off_t end = ::lseek(handle_, 0, SEEK_END);
  ::lseek(handle_, 0, SEEK_SET);
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(end));
}

std::ptrdiff_t FileHandle::read_some(void* buffer, std::size_t count) {
  // A signal that interrupts the call before any byte arrived is retried.
  ssize_t got;
  do {
    got = ::read(handle_, buffer, count);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? -1 : got;
}

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

std::size_t FileHandle::write_all(const void* bytes, std::size_t count) {
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(handle_, next + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return done;
}

void FileHandle::close() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
}
