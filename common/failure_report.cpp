#include "common/failure_report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/console.h"

namespace {

const char* verb(Operation operation) {
  switch (operation) {
    case Operation::kOpen:
      return "open";
    case Operation::kCreate:
      return "create";
    case Operation::kSize:
      return "size";
    case Operation::kRead:
      return "read";
    case Operation::kWrite:
      return "write";
    case Operation::kClose:
      return "close";
  }
  return "use";
}

// Set to anything but "0" or nothing.
bool setting_on(const char* name) {
  const char* setting = std::getenv(name);
  return setting != nullptr && *setting != '\0' && std::strcmp(setting, "0") != 0;
}

bool verbose() { return setting_on("CHUNKTOOLS_VERBOSE"); }

// A path is as long as the system allows; the line is cut rather than
// allocated.
char line[8192];
char error_text[512];

}  // namespace

int FailureReport::say(const Piece* pieces, std::size_t count) {
  if (failed_) return usage_.failure_code;
  failed_ = true;
  if (verbose()) write_line("", pieces, count);
  return usage_.failure_code;
}

bool FailureReport::tolerate(Tolerated kind, const Piece* pieces, std::size_t count) {
  if (strict_mode()) {
    say(pieces, count);
    return false;
  }
  const unsigned bit = 1u << static_cast<unsigned>(kind);
  if ((warned_ & bit) == 0 && verbose()) write_line("warning: ", pieces, count);
  warned_ |= bit;
  return true;
}

bool FailureReport::strict_mode() { return setting_on("CHUNKTOOLS_STRICT"); }

bool FailureReport::partial_record(const char* role, const char* path, std::size_t stray_bytes) {
  char count[24];
  std::snprintf(count, sizeof count, "%zu", stray_bytes);
  const Piece pieces[] = {{role}, {" '"}, {path, true}, {"' ends in "}, {count},
                          {stray_bytes == 1 ? " byte" : " bytes"}, {" of a partial record, which "},
                          {strict_mode() ? "cannot be taken" : "is ignored"}};
  return tolerate(Tolerated::kPartialRecord, pieces, sizeof pieces / sizeof pieces[0]);
}

bool FailureReport::short_data(const char* role, const char* path, std::uint64_t missing_bytes,
                               std::uint64_t from_position, const char* reacher) {
  char missing[24], from[24];
  std::snprintf(missing, sizeof missing, "%llu", static_cast<unsigned long long>(missing_bytes));
  std::snprintf(from, sizeof from, "%llu", static_cast<unsigned long long>(from_position));
  if (strict_mode()) {
    const Piece pieces[] = {{role}, {" '"}, {path, true}, {"' lacks the bytes from stream position "}, {from},
                            {" on, which "}, {reacher}, {" reach"}};
    return tolerate(Tolerated::kShortData, pieces, sizeof pieces / sizeof pieces[0]);
  }
  const Piece pieces[] = {{role}, {" '"}, {path, true}, {"' lacks "}, {missing},
                          {missing_bytes == 1 ? " byte " : " bytes "}, {reacher}, {" reach, from stream position "},
                          {from}, {" on: taken as 0xFF bytes"}};
  return tolerate(Tolerated::kShortData, pieces, sizeof pieces / sizeof pieces[0]);
}

void FailureReport::write_line(const char* kind, const Piece* pieces, std::size_t count) {
  std::size_t size = 0;
  const std::size_t capacity = sizeof line - 1;  // one byte for the newline
  // A byte that would break the line or drive a terminal (below 0x20, and
  // 0x7F) is written as a backslash and three octal digits; an escape that
  // does not fit whole is left out with the rest.
  const auto append = [&](const char* text, bool escape_controls) {
    for (; *text != '\0'; ++text) {
      const unsigned char byte = static_cast<unsigned char>(*text);
      if (escape_controls && (byte < 0x20 || byte == 0x7F)) {
        if (capacity - size < 4) return;
        line[size++] = '\\';
        line[size++] = static_cast<char>('0' + (byte >> 6));
        line[size++] = static_cast<char>('0' + ((byte >> 3) & 7));
        line[size++] = static_cast<char>('0' + (byte & 7));
      } else {
        if (size == capacity) return;
        line[size++] = static_cast<char>(byte);
      }
    }
  };
  append(usage_.tool, false);
  append(": ", false);
  append(kind, false);
  for (std::size_t i = 0; i < count; ++i) append(pieces[i].text, pieces[i].is_name);
  line[size++] = '\n';
  console_error_line(line, size);
}

int FailureReport::too_few_arguments(const char* form) {
  // The alternatives of a usage line are separated by " | ".
  char arguments[256];
  const char* text = usage_.arguments;
  if (form != nullptr) {
    const std::size_t form_size = std::strlen(form);
    while (std::strncmp(text, form, form_size) != 0 || text[form_size] != ' ') {
      const char* next = std::strstr(text, " | ");
      if (next == nullptr) break;
      text = next + 3;
    }
  }
  const char* end = std::strstr(text, " | ");
  const std::size_t size = end != nullptr ? static_cast<std::size_t>(end - text) : std::strlen(text);
  std::snprintf(arguments, sizeof arguments, "%.*s", static_cast<int>(size), text);
  const Piece pieces[] = {{"too few arguments (usage: "}, {usage_.tool}, {" "}, {arguments}, {")"}};
  return say(pieces);
}

int FailureReport::file_failed(Operation operation, const char* role, const char* path,
                               SystemError error) {
  const Piece pieces[] = {{"cannot "}, {verb(operation)}, {" "}, {role}, {" '"}, {path, true}, {"': "},
                          {describe_system_error(error, error_text, sizeof error_text)}};
  return say(pieces);
}

int FailureReport::write_failed(const char* role, const char* path, SystemError error, std::size_t torn_bytes) {
  if (torn_bytes == 0) return file_failed(Operation::kWrite, role, path, error);
  char count[24];
  std::snprintf(count, sizeof count, "%zu", torn_bytes);
  const Piece pieces[] = {{"cannot write "}, {role}, {" '"}, {path, true}, {"': "},
                          {describe_system_error(error, error_text, sizeof error_text)},
                          {"; it ends in "}, {count}, {" bytes of a partial record, which cannot be cut off"}};
  return say(pieces);
}

int FailureReport::console_failed(Operation operation, SystemError error) {
  const Piece pieces[] = {{"cannot "}, {verb(operation)}, {" standard output: "},
                          {describe_system_error(error, error_text, sizeof error_text)}};
  return say(pieces);
}

int FailureReport::output_is_input(const char* output_role, const char* output_path, const char* role,
                                   const char* path) {
  const Piece pieces[] = {{"refusing to overwrite: "}, {output_role}, {" '"}, {output_path, true}, {"' is the "},
                          {role}, {" '"}, {path, true}, {"'"}};
  return say(pieces);
}

int FailureReport::console_is_file(const char* role, const char* path) {
  const Piece pieces[] = {{"refusing to run: standard output is the "}, {role}, {" '"}, {path, true}, {"'"}};
  return say(pieces);
}

int FailureReport::refused(const char* why) {
  const Piece pieces[] = {{"refusing to run: "}, {why}};
  return say(pieces);
}

int FailureReport::start_failed(SystemError error) {
  const Piece pieces[] = {{"cannot set up the standard descriptors: "},
                          {describe_system_error(error, error_text, sizeof error_text)}};
  return say(pieces);
}

int FailureReport::bad_line(const char* role, const char* path, unsigned long long line_number,
                             const char* problem) {
  char number[24];
  std::snprintf(number, sizeof number, "%llu", line_number);
  const Piece pieces[] = {{role}, {" '"}, {path, true}, {"' line "}, {number}, {": "}, {problem}};
  return say(pieces);
}

int FailureReport::bad_argument(const char* problem, const char* value) {
  const Piece pieces[] = {{problem}, {" '"}, {value, true}, {"' (try '"}, {usage_.tool}, {" --help')"}};
  return say(pieces);
}

int FailureReport::cannot_allocate(unsigned long long bytes, const char* what) {
  char number[24];
  std::snprintf(number, sizeof number, "%llu", bytes);
  const Piece pieces[] = {{"cannot allocate "}, {number}, {" bytes for "}, {what}};
  return say(pieces);
}

int FailureReport::too_large(const char* role, const char* path, const char* limit) {
  const Piece pieces[] = {{role}, {" '"}, {path, true}, {"' is larger than "}, {limit}};
  return say(pieces);
}
