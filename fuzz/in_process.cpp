#include "fuzz/in_process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

const std::string& scratch_folder() {
  static const std::string folder = [] {
    // Memory-backed where possible: the targets write files on every input.
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/chunktools-fuzz-XXXXXX"
                                                           : "/tmp/chunktools-fuzz-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

void put_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string get_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CapturedRun run_in_process(int (*command)(int, char**), const std::vector<std::string>& args) {
  const std::string console_path = scratch_folder() + "/console";
  std::fflush(stdout);
  const int saved_stdout = ::dup(1);
  const int console = ::open(console_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (saved_stdout < 0 || console < 0 || ::dup2(console, 1) < 0) std::abort();
  ::close(console);
  // The commands close their files and standard output's descriptor; note
  // where their descriptors begin so that none can outlive a run that failed
  // halfway.
  const int first_free = ::open("/dev/null", O_RDONLY);
  ::close(first_free);

  std::vector<std::string> words{"command"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  CapturedRun run;
  run.exit_code = command(static_cast<int>(words.size()), argv.data());

  std::fflush(stdout);
  std::clearerr(stdout);
  for (int fd = first_free; fd < first_free + 8; ++fd) ::close(fd);
  ::dup2(saved_stdout, 1);
  ::close(saved_stdout);
  run.console = get_file(console_path);
  return run;
}

void check_dump(int (*command)(int, char**), const std::uint8_t* input, std::size_t size,
                const std::string& expected) {
  const std::string file = scratch_folder() + "/records";
  put_file(file, std::string(reinterpret_cast<const char*>(input), size));
  const CapturedRun run = run_in_process(command, {file});
  if (run.exit_code != 0 || run.console != expected) std::abort();
}
