// POSIX backend of the console guard.
#include "common/console.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

bool console_start(SystemError* error) {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() returns the lowest free descriptor, which is this one. Opened
    // read-only, so that writes to it fail and are reported as such.
    const int taken = ::open("/dev/null", O_RDONLY);
    if (taken != fd) {
      *error = static_cast<SystemError>(taken < 0 ? errno : EBADF);
      return false;
    }
  }
  // The default action of SIGXFSZ ends the process before the failed write
  // returns; ignored, the write fails with EFBIG like any other.
  std::signal(SIGXFSZ, SIG_IGN);
  return true;
}

void console_set_binary(char* buffer, std::size_t size) { std::setvbuf(stdout, buffer, _IOFBF, size); }

bool close_console_descriptor() { return ::close(STDOUT_FILENO) == 0; }

bool error_stream_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

bool output_stream_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

std::uint64_t monotonic_milliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}
