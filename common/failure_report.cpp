#include "failure_report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* verb(Operation operation) {
  switch (operation) {
    case Operation::kOpen: return "open";
    case Operation::kCreate: return "create";
    case Operation::kSize: return "size";
    case Operation::kRead: return "read";
    case Operation::kWrite: return "write";
    case Operation::kClose: return "close";
  }
  return "use";
}

bool verbose() {
  const char* setting = std::getenv("CHUNKTOOLS_VERBOSE");
  return setting != nullptr && *setting != '\0';
}

// A path is as long as the system allows; the line is cut rather than
// allocated.
char line[8192];
char error_text[512];

}  // namespace

int FailureReport::say(const char* const* pieces, int count) {
  if (failed_) return 1;
  failed_ = true;
  if (!verbose()) return 1;
  std::size_t size = 0;
  const auto append = [&](const char* text) {
    const std::size_t length = std::strlen(text);
    const std::size_t room = sizeof line - 1 - size;  // one byte for the newline
    const std::size_t taken = length < room ? length : room;
    std::memcpy(line + size, text, taken);
    size += taken;
  };
  append(tool_);
  append(": ");
  for (int i = 0; i < count; ++i) append(pieces[i]);
  line[size++] = '\n';
  std::fwrite(line, 1, size, stderr);
  std::fflush(stderr);
  return 1;
}

int FailureReport::too_few_arguments(const char* usage) {
  const char* pieces[] = {"too few arguments (usage: ", tool_, " ", usage, ")"};
  return say(pieces, 5);
}

int FailureReport::file_failed(Operation operation, const char* role, const char* path,
                               SystemError error) {
  const char* pieces[] = {"cannot ", verb(operation), " ", role, " '", path, "': ",
                          describe_system_error(error, error_text, sizeof error_text)};
  return say(pieces, 8);
}

int FailureReport::console_failed(Operation operation, SystemError error) {
  const char* pieces[] = {"cannot ", verb(operation), " standard output: ",
                          describe_system_error(error, error_text, sizeof error_text)};
  return say(pieces, 4);
}

int FailureReport::signature_is_input(const char* signature_path, const char* role,
                                      const char* path) {
  const char* pieces[] = {"refusing to overwrite: signature file '", signature_path, "' is the ",
                          role, " '", path, "'"};
  return say(pieces, 7);
}

int FailureReport::console_is_file(const char* role, const char* path) {
  const char* pieces[] = {"refusing to run: standard output is the ", role, " '", path, "'"};
  return say(pieces, 5);
}

int FailureReport::start_failed(SystemError error) {
  const char* pieces[] = {"cannot set up the standard descriptors: ",
                          describe_system_error(error, error_text, sizeof error_text)};
  return say(pieces, 2);
}
