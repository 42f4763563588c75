// POSIX backend of the file layer.
#include "common/file_handle.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

static_assert(sizeof(off_t) == 8, "file offsets must be 64-bit, even in 32-bit builds");

namespace {

FileIdentity identity_from(const struct stat& info) {
  FileKind kind = FileKind::kOther;
  if (S_ISREG(info.st_mode)) {
    kind = FileKind::kRegular;
  } else if (S_ISFIFO(info.st_mode)) {
    kind = FileKind::kFifo;
  } else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
    kind = FileKind::kDevice;
  }
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino), 0,
                      kind};
}

int open_retrying(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens `path` for reading with `flags`; -1 with errno set on failure.
// Opening a directory for reading succeeds here but fails on other platforms;
// a directory is never a usable input.
int open_input(const char* path, int flags) {
  const int fd = open_retrying(path, flags);
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

}  // namespace

const char* describe_system_error(SystemError error, char* text, std::size_t size) {
  if (size == 0) return text;
  // strerror's text for the codes the tools meet is a constant string.
  std::strncpy(text, std::strerror(static_cast<int>(error)), size - 1);
  text[size - 1] = '\0';
  return text;
}

FileHandle FileHandle::open_read(const char* path) {
  const int fd = open_input(path, O_RDONLY | O_CLOEXEC);
  return fd < 0 ? FileHandle(kNoHandle, static_cast<SystemError>(errno)) : FileHandle(fd, 0);
}

// A blocking open of a FIFO waits for a writer; O_NONBLOCK returns at once.
FileHandle FileHandle::open_to_size(const char* path) {
  const int fd = open_input(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  return fd < 0 ? FileHandle(kNoHandle, static_cast<SystemError>(errno)) : FileHandle(fd, 0);
}

FileHandle FileHandle::create_write(const char* path) {
  const int fd = open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
  return fd < 0 ? FileHandle(kNoHandle, static_cast<SystemError>(errno)) : FileHandle(fd, 0);
}

FileHandle FileHandle::standard_input() {
  const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  return fd < 0 ? FileHandle(kNoHandle, static_cast<SystemError>(errno)) : FileHandle(fd, 0);
}

const char* FileHandle::default_temporary_folder() { return "/tmp"; }

FileHandle FileHandle::create_temporary(const char* folder) {
  char path[4096];
  const int written = std::snprintf(path, sizeof path, "%s/chunktools-XXXXXX", folder);
  if (written <= 0 || static_cast<std::size_t>(written) >= sizeof path) return FileHandle(kNoHandle, ENAMETOOLONG);
  int fd;
  do {
    fd = ::mkstemp(path);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return FileHandle(kNoHandle, static_cast<SystemError>(errno));
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  // Nameless from here on: nothing is left behind, however the run ends.
  if (::unlink(path) != 0) {
    const SystemError error = static_cast<SystemError>(errno);
    ::close(fd);
    return FileHandle(kNoHandle, error);
  }
  return FileHandle(fd, 0);
}

bool FileHandle::identity_of_path(const char* path, FileIdentity* identity) {
  struct stat info;
  if (::stat(path, &info) != 0) return false;
  *identity = identity_from(info);
  return true;
}

bool FileHandle::standard_output_identity(FileIdentity* identity) {
  struct stat info;
  if (::fstat(STDOUT_FILENO, &info) != 0) return false;
  *identity = identity_from(info);
  return true;
}

FileIdentity FileHandle::identity() const {
  struct stat info;
  if (::fstat(static_cast<int>(handle_), &info) != 0) return FileIdentity{~0ULL, ~0ULL, ~0ULL, FileKind::kOther};
  return identity_from(info);
}

void FileHandle::note_failure() { error_ = static_cast<SystemError>(errno); }

bool FileHandle::size(std::uint64_t* bytes) {
  const off_t end = ::lseek(static_cast<int>(handle_), 0, SEEK_END);
  if (end < 0) {
    note_failure();
    return false;
  }
  if (::lseek(static_cast<int>(handle_), 0, SEEK_SET) != 0) {
    note_failure();
    return false;
  }
  *bytes = static_cast<std::uint64_t>(end);
  return true;
}

std::ptrdiff_t FileHandle::read_some(void* buffer, std::size_t count) {
  // A signal that interrupts the call before any byte arrived is retried.
  ssize_t got;
  do {
    got = ::read(static_cast<int>(handle_), buffer, count);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    note_failure();
    return -1;
  }
  return got;
}

void FileHandle::enlarge_pipe_buffer(std::size_t bytes) {
#ifdef F_SETPIPE_SZ
  if (identity().kind == FileKind::kFifo) ::fcntl(static_cast<int>(handle_), F_SETPIPE_SZ, static_cast<int>(bytes));
#else
  (void)bytes;
#endif
}

std::size_t FileHandle::write_all(const void* bytes, std::size_t count) {
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(static_cast<int>(handle_), next + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) note_failure();
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return done;
}

std::ptrdiff_t FileHandle::read_some_at(std::uint64_t offset, void* buffer, std::size_t count,
                                        SystemError* failure) const {
  ssize_t got;
  do {
    got = ::pread(static_cast<int>(handle_), buffer, count, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    *failure = static_cast<SystemError>(errno);
    return -1;
  }
  return got;
}

bool FileHandle::rewind() {
  if (::lseek(static_cast<int>(handle_), 0, SEEK_SET) == 0) return true;
  note_failure();
  return false;
}

bool FileHandle::truncate(std::uint64_t length) {
  int result;
  do {
    result = ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool FileHandle::close() {
  if (handle_ == kNoHandle) return true;
  // The descriptor is released even when close reports an error, so it is
  // never retried: Linux frees it whatever close returns.
  const bool closed = ::close(static_cast<int>(handle_)) == 0;
  if (!closed) note_failure();
  handle_ = kNoHandle;
  return closed;
}
