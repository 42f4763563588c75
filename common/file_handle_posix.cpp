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
  if (fd < 0) return FileHandle(kNoHandle);
  // Opening a directory for reading succeeds here but fails on other
  // platforms; a directory is never a usable input.
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return FileHandle(kNoHandle);
  }
  return FileHandle(fd);
}

FileHandle FileHandle::create_write(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return FileHandle(fd < 0 ? kNoHandle : fd);
}

bool FileHandle::path_names(const char* path, const FileIdentity& identity) {
  struct stat info;
  if (::stat(path, &info) != 0) return false;
  return static_cast<std::uint64_t>(info.st_dev) == identity.device &&
         static_cast<std::uint64_t>(info.st_ino) == identity.file;
}

FileIdentity FileHandle::identity() const {
  struct stat info;
  if (::fstat(static_cast<int>(handle_), &info) != 0) return FileIdentity{~0ULL, ~0ULL};
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

std::uint64_t FileHandle::size() {
  const off_t end = ::lseek(static_cast<int>(handle_), 0, SEEK_END);
  ::lseek(static_cast<int>(handle_), 0, SEEK_SET);
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(end));
}

std::ptrdiff_t FileHandle::read_some(void* buffer, std::size_t count) {
  // A signal that interrupts the call before any byte arrived is retried.
  ssize_t got;
  do {
    got = ::read(static_cast<int>(handle_), buffer, count);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? -1 : got;
}

std::size_t FileHandle::write_all(const void* bytes, std::size_t count) {
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(static_cast<int>(handle_), next + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return done;
}

void FileHandle::close() {
  if (handle_ != kNoHandle) ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}
