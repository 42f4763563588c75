// POSIX source of random keys.
#include "common/random_key.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

namespace {

bool from_urandom(std::uint64_t* key) {
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(key);
  std::size_t got = 0;
  while (got < sizeof *key) {
    const ssize_t part = ::read(fd, bytes + got, sizeof *key - got);
    if (part < 0 && errno == EINTR) continue;
    if (part <= 0) break;
    got += static_cast<std::size_t>(part);
  }
  ::close(fd);
  return got == sizeof *key;
}

}  // namespace

std::uint64_t random_key() {
  std::uint64_t key = 0;
#if defined(__linux__)
  if (::getrandom(&key, sizeof key, 0) == static_cast<ssize_t>(sizeof key)) return key;
#endif
  if (from_urandom(&key)) return key;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_nsec) * 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(now.tv_sec) ^
         static_cast<std::uint64_t>(::getpid()) << 32;
}
