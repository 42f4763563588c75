// What every tool answers the same way before it looks at its arguments:
// --help and --version as the only argument, and no argument at all.
#ifndef COMMON_USAGE_H
#define COMMON_USAGE_H

#include <cstddef>

struct ToolUsage {
  const char* tool;       // "sigdump"
  const char* arguments;  // "SIGNATURES", as the usage line gives them
  // The rest of --help: what the tool does, one line per argument and its
  // exit codes; then the tool's own environment settings, one line each
  // ("" for none), listed after the ones every tool reads.
  const char* help;
  const char* environment;
  int failure_code;  // the exit code of a failed run: 1, or sigdiff's 2
  // Writes the build's CPU tiers and the one this CPU runs (NUL-terminated,
  // cut to `size`) for --version; returns `text`.
  const char* (*describe_build)(char* text, std::size_t size);
};

// With --help or --version as the only argument, prints the answer on
// standard output (exit code 0, or the failure code if it cannot be
// written); with no argument at all, prints the usage line and a pointer to
// --help on standard error (the failure code). True, with the exit code in
// *exit_code, when it answered; false for every other argument list, which
// the tool then runs as given. A first argument "--" ends the options: it is
// taken out of argc and argv (so that argv[1] is the first path, whatever it
// looks like) and *options_ended, when asked for, says so; a file named
// --help is reached as `TOOL -- --help` or ./--help.
bool answer_usage_request(const ToolUsage& usage, int& argc, char**& argv, int* exit_code,
                          bool* options_ended = nullptr);

#endif  // COMMON_USAGE_H
