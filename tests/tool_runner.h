// Runs the built executables as a user's script would, on files in a scratch
// folder, and collects their exit code and everything they printed.
#ifndef TESTS_TOOL_RUNNER_H
#define TESTS_TOOL_RUNNER_H

#include <string>
#include <vector>

// A scratch folder, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path(const std::string& name) const { return root_ + "/" + name; }

 private:
  std::string root_;
};

void write_file(const std::string& path, const std::string& contents);
std::string read_file(const std::string& path);

enum class Console { kCaptured, kDevFull, kClosed };

struct RunOptions {
  Console console = Console::kCaptured;
  bool close_stdin = false;
  long long file_size_limit = -1;  // bytes; writes past it fail with EFBIG
};

struct RunResult {
  int exit_code;        // 128 + signal number when killed by a signal
  std::string console;  // standard output, when captured
};

RunResult run_tool(const std::string& executable, const std::vector<std::string>& args,
                   const RunOptions& options = RunOptions());

#endif  // TESTS_TOOL_RUNNER_H
