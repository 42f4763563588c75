// The checks every tool makes before it reads or writes a file that a user
// named: standard output must not be an input (the tool would read its own
// output back, or drain a FIFO it should read), and creating an output must
// not truncate an input or the file standard output writes to.
#ifndef COMMON_FILE_GUARDS_H
#define COMMON_FILE_GUARDS_H

#include <cstddef>

#include "common/failure_report.h"
#include "common/file_handle.h"

// Standard output, as far as it can be examined.
struct StandardOutput {
  FileIdentity identity;
  bool known;

  static StandardOutput examine();
  // Whether standard output is the object `file` and that object holds data.
  bool is(const FileIdentity& file) const { return known && identity.holds_data() && file.same_object(identity); }
};

// An input a tool has open (or has sized), as failures name it.
struct NamedInput {
  const char* role;  // "data file"
  const char* path;
  FileIdentity identity;
};

// Opens the input `role` at `path` for reading into *file; on failure, or
// when it is standard output, reports that and leaves *file closed. False
// then.
bool open_input(FailureReport& report, const StandardOutput& console, const char* role, const char* path,
                FileHandle* file);

// Whether the output `output_role` at `output_path` may be created (which
// truncates it): false, reported, when the path names one of the `count`
// inputs that holds data or, with `console` given, the file standard output
// writes to.
bool may_create_output(FailureReport& report, const StandardOutput* console, const char* output_role,
                       const char* output_path, const NamedInput* inputs, std::size_t count);

#endif  // COMMON_FILE_GUARDS_H
