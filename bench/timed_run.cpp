// Runs a command with its standard output sent to a file and prints its wall
// time in seconds and its peak resident memory in KiB: "SECONDS KIB".
// Usage: timed_run OUTPUT COMMAND [ARG...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: timed_run OUTPUT COMMAND [ARG...]\n");
    return 2;
  }
  timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || dup2(out, 1) < 0) _exit(127);
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return 2;
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double seconds = static_cast<double>(end.tv_sec - start.tv_sec) +
                         static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
  std::printf("%.4f %ld\n", seconds, usage.ru_maxrss);
  if (!WIFEXITED(status)) return 2;
  return WEXITSTATUS(status);
}
