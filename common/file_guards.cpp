#include "common/file_guards.h"

StandardOutput StandardOutput::examine() {
  StandardOutput console{};
  console.known = FileHandle::standard_output_identity(&console.identity);
  return console;
}

bool open_input(FailureReport& report, const StandardOutput& console, const char* role, const char* path,
                FileHandle* file) {
  *file = FileHandle::open_read(path);
  if (!file->is_open()) {
    report.file_failed(Operation::kOpen, role, path, file->error());
    return false;
  }
  if (console.is(file->identity())) {
    file->close();
    report.console_is_file(role, path);
    return false;
  }
  return true;
}

bool may_create_output(FailureReport& report, const StandardOutput* console, const char* output_role,
                       const char* output_path, const NamedInput* inputs, std::size_t count) {
  FileIdentity target;
  if (!FileHandle::identity_of_path(output_path, &target) || !target.holds_data()) return true;
  for (std::size_t i = 0; i < count; ++i) {
    if (target.same_object(inputs[i].identity)) {
      report.output_is_input(output_role, output_path, inputs[i].role, inputs[i].path);
      return false;
    }
  }
  if (console != nullptr && console->known && target.same_object(console->identity)) {
    report.console_is_file(output_role, output_path);
    return false;
  }
  return true;
}
