#include "common/usage.h"

#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/failure_report.h"

namespace {

void write_text(const char* text) { console_write(text, std::strlen(text)); }

// The settings every tool reads, and where its manual is.
const char kCommonEnvironment[] =
    "  CHUNKTOOLS_VERBOSE=1   a failed run prints its reason on standard error\n"
    "                         (unset, empty or 0: silent, only the exit code tells),\n"
    "                         and a warning line for input taken as documented but\n"
    "                         possibly not meant (a partial last record; for\n"
    "                         chunksig, segment bytes the data file lacks)\n"
    "  CHUNKTOOLS_STRICT=1    such input fails the run, keeping what was written\n"
    "                         before it (unset, empty or 0: taken, as documented)\n";

int print_on_console(const ToolUsage& usage, bool version) {
  FailureReport report(usage);
  SystemError error = 0;
  if (!console_start(&error)) return report.start_failed(error);
  if (version) {
    char details[512];
    write_text(usage.tool);
    write_text(" (chunktools) " CHUNKTOOLS_VERSION "\n");
    write_text(usage.describe_build(details, sizeof details));
  } else {
    write_text("Usage: ");
    write_text(usage.tool);
    write_text(" ");
    write_text(usage.arguments);
    write_text("\n");
    write_text(usage.help);
    write_text("\nA first argument -- ends the options: what follows are paths, taken as\nthey stand (");
    write_text(usage.tool);
    write_text(" -- --help names a file --help).\n");
    write_text("\nEnvironment:\n");
    write_text(kCommonEnvironment);
    write_text(usage.environment);
    write_text("\nThe manual: man ");
    write_text(usage.tool);
    write_text(" (on Windows, README.md beside the programs)\n");
  }
  console_finish(report);
  return report.exit_code();
}

}  // namespace

bool answer_usage_request(const ToolUsage& usage, int& argc, char**& argv, int* exit_code, bool* options_ended) {
  const bool ended = argc > 1 && std::strcmp(argv[1], "--") == 0;
  if (ended) {
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  if (options_ended != nullptr) *options_ended = ended;
  if (argc <= 1) {
    std::fprintf(stderr, "Usage: %s %s\nTry '%s --help' for more.\n", usage.tool, usage.arguments, usage.tool);
    std::fflush(stderr);
    *exit_code = usage.failure_code;
    return true;
  }
  if (argc != 2 || ended) return false;
  const bool help = std::strcmp(argv[1], "--help") == 0;
  const bool version = std::strcmp(argv[1], "--version") == 0;
  if (!help && !version) return false;
  *exit_code = print_on_console(usage, version);
  return true;
}
