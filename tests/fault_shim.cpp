// Loaded into a tool with LD_PRELOAD, makes the system fail the way a disk or
// a network or quota file system does:
//  - CHUNKTOOLS_TEST_FAIL_CLOSE names the file (its canonical path) whose
//    close() fails, or "stdout" for descriptor 1: the descriptor is released,
//    and the call reports EIO.
//  - CHUNKTOOLS_TEST_FAIL_READ=OFFSET:PATH makes the reads of the file at
//    PATH (canonical; a FIFO too) give its bytes up to OFFSET, then fail with
//    EIO, as a bad sector does: read() where the file's position (a FIFO's:
//    the bytes read from it so far) has come to OFFSET, pread() at offsets
//    from OFFSET on. A read across OFFSET stops there.
// Under an emulator that calls the system directly for reads (qemu-user),
// only close() is reached.
#include <dlfcn.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool names_file(int fd, const char* target) {
  char link[64], name[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = ::readlink(link, name, sizeof name - 1);
  if (length <= 0) return false;
  name[length] = '\0';
  return std::strcmp(name, target) == 0;
}

bool close_should_fail(int fd) {
  const char* target = std::getenv("CHUNKTOOLS_TEST_FAIL_CLOSE");
  if (target == nullptr) return false;
  if (std::strcmp(target, "stdout") == 0) return fd == STDOUT_FILENO;
  return names_file(fd, target);
}

// Bytes read so far from the target when it has no position (a FIFO).
std::atomic<std::uint64_t> fifo_bytes_read{0};

struct ReadLimit {
  bool fifo;        // the read is of the failing file, which has no position
  long long bytes;  // how many of the bytes asked it may give; -1: it fails
};

// How many of `count` bytes a read of `fd` may give: at `*offset` for a
// pread(); for a read() (null), at the file's position, or for a FIFO after
// the bytes read from it so far.
ReadLimit read_limit(int fd, const off64_t* offset, std::size_t count) {
  const ReadLimit unlimited{false, static_cast<long long>(count)};
  const char* setting = std::getenv("CHUNKTOOLS_TEST_FAIL_READ");
  if (setting == nullptr) return unlimited;
  char* path = nullptr;
  const std::uint64_t failing_offset = std::strtoull(setting, &path, 10);
  if (*path != ':' || !names_file(fd, path + 1)) return unlimited;
  const off64_t position = offset != nullptr ? *offset : ::lseek64(fd, 0, SEEK_CUR);
  const bool fifo = position < 0;
  const std::uint64_t at = fifo ? fifo_bytes_read.load() : static_cast<std::uint64_t>(position);
  if (at >= failing_offset) return {fifo, -1};
  return {fifo, static_cast<long long>(failing_offset - at < count ? failing_offset - at : count)};
}

template <typename Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int fail_with_eio() {
  errno = EIO;
  return -1;
}

}  // namespace

extern "C" int close(int fd) {
  static const auto real_close = real<int (*)(int)>("close");
  const bool fail = close_should_fail(fd);
  const int result = real_close(fd);
  return fail && result == 0 ? fail_with_eio() : result;
}

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
  static const auto real_read = real<ssize_t (*)(int, void*, size_t)>("read");
  const ReadLimit limit = read_limit(fd, nullptr, count);
  if (limit.bytes < 0) return fail_with_eio();
  const ssize_t got = real_read(fd, buffer, static_cast<size_t>(limit.bytes));
  if (limit.fifo && got > 0) fifo_bytes_read += static_cast<std::uint64_t>(got);
  return got;
}

// The tools are built with 64-bit file offsets, which name pread() pread64().
extern "C" ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
  static const auto real_pread = real<ssize_t (*)(int, void*, size_t, off64_t)>("pread64");
  const ReadLimit limit = read_limit(fd, &offset, count);
  if (limit.bytes < 0) return fail_with_eio();
  return real_pread(fd, buffer, static_cast<size_t>(limit.bytes), offset);
}
