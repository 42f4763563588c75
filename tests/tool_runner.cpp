#include "tool_runner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string tool_path(const char* variable, const char* built) {
  const char* other = std::getenv(variable);
  return other != nullptr && *other != '\0' ? other : built;
}

std::string without_crs(const std::string& console) {
  std::string plain;
  bool bare_lf = false;
  for (std::size_t i = 0; i < console.size(); ++i) {
    if (console[i] == '\r' && i + 1 < console.size() && console[i + 1] == '\n') continue;
    if (console[i] == '\n' && (i == 0 || console[i - 1] != '\r')) bare_lf = true;
    plain += console[i];
  }
  return bare_lf ? plain + "[a line ended in LF alone]" : plain;
}

}  // namespace

const std::string& chunksig_path() {
  static const std::string path = tool_path("CHUNKTOOLS_CHUNKSIG", CHUNKSIG_PATH);
  return path;
}

const std::string& idxdump_path() {
  static const std::string path = tool_path("CHUNKTOOLS_IDXDUMP", IDXDUMP_PATH);
  return path;
}

bool closed_descriptors_testable() { return std::getenv("CHUNKTOOLS_WINE") == nullptr; }

std::map<std::string, std::string> snapshot_files(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    const std::string path = entry.path().string();
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) std::abort();
    // Large (sparse) files are told apart by size and modification time.
    files[entry.path().filename().string()] =
        info.st_size <= (16 << 20) ? read_file(path)
                                   : "size " + std::to_string(info.st_size) + ", modified " +
                                         std::to_string(info.st_mtim.tv_sec) + "." +
                                         std::to_string(info.st_mtim.tv_nsec);
  }
  return files;
}

ChunksigFiles::ChunksigFiles(std::uint64_t fptr, const std::string& data_bytes,
                             const std::string& segment_bytes) {
  write_file(base, "");
  if (::truncate(base.c_str(), static_cast<off_t>(fptr)) != 0) std::abort();
  write_file(data, data_bytes);
  write_file(segments, segment_bytes);
}

RunResult ChunksigFiles::run(const RunOptions& options) const {
  return run_tool(chunksig_path(), args(), options);
}

RunResult run_tool(const std::string& executable, const std::vector<std::string>& args,
                   const RunOptions& options) {
  // A pipe, not a file, so that a file-size limit never cuts the console.
  int capture[2];
  if (::pipe(capture) != 0) std::abort();
  // CHUNKTOOLS_TOOL_WRAPPER, when set, runs every tool under another program,
  // such as "valgrind --error-exitcode=99" (words separated by spaces).
  std::vector<std::string> words;
  if (const char* wrapper = std::getenv("CHUNKTOOLS_TOOL_WRAPPER")) {
    std::istringstream split(wrapper);
    for (std::string word; split >> word;) words.push_back(word);
  }
  words.push_back(executable);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    ::close(capture[0]);
    if (options.console == Console::kCaptured) {
      if (::dup2(capture[1], 1) < 0) ::_exit(126);
    } else if (options.console == Console::kDevFull) {
      const int fd = ::open("/dev/full", O_WRONLY);
      if (fd < 0 || ::dup2(fd, 1) < 0) ::_exit(126);
      ::close(fd);
    } else {
      ::close(1);
    }
    ::close(capture[1]);
    if (options.close_stdin) ::close(0);
    if (options.file_size_limit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    }
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(capture[1]);
  RunResult result;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(capture[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result.console.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(capture[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (std::getenv("CHUNKTOOLS_CONSOLE_CRLF") != nullptr) result.console = without_crs(result.console);
  return result;
}
