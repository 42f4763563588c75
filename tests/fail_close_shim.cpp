// Loaded into a tool with LD_PRELOAD, makes close() fail the way a network or
// quota file system does: the descriptor is released, and the call reports
// EIO. CHUNKTOOLS_TEST_FAIL_CLOSE names the file (its canonical path) whose
// close fails, or "stdout" for descriptor 1.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool close_should_fail(int fd) {
  const char* target = std::getenv("CHUNKTOOLS_TEST_FAIL_CLOSE");
  if (target == nullptr) return false;
  if (std::strcmp(target, "stdout") == 0) return fd == STDOUT_FILENO;
  char link[64], name[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = ::readlink(link, name, sizeof name - 1);
  if (length <= 0) return false;
  name[length] = '\0';
  return std::strcmp(name, target) == 0;
}

}  // namespace

extern "C" int close(int fd) {
  using CloseFunction = int (*)(int);
  static const CloseFunction real_close = reinterpret_cast<CloseFunction>(dlsym(RTLD_NEXT, "close"));
  const bool fail = close_should_fail(fd);
  const int result = real_close(fd);
  if (fail && result == 0) {
    errno = EIO;
    return -1;
  }
  return result;
}
