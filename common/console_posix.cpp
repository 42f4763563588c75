// POSIX backend of the console guard.
#include "console.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

bool console_start() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() returns the lowest free descriptor, which is this one. Opened
    // read-only, so that writes to it fail and are reported as such.
    if (::open("/dev/null", O_RDONLY) != fd) return false;
  }
  return true;
}

bool console_finish() {
  const bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout);
}
