#include "tests/tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

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

const std::vector<std::string>& tool_names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> words;
    std::istringstream split(CHUNKTOOLS_TOOL_LIST);
    for (std::string word; split >> word;) words.push_back(word);
    return words;
  }();
  return names;
}

std::string tool_path(const std::string& name) {
  const std::vector<std::string>& names = tool_names();
  if (std::find(names.begin(), names.end(), name) == names.end()) std::abort();
  const char* other_dir = std::getenv("CHUNKTOOLS_TOOL_DIR");
  if (other_dir == nullptr || *other_dir == '\0') return std::string(CHUNKTOOLS_BUILT_TOOL_DIR "/") + name;
  const char* suffix = std::getenv("CHUNKTOOLS_TOOL_SUFFIX");
  return std::string(other_dir) + "/" + name + (suffix != nullptr ? suffix : "");
}

const char kVerbose[] = "CHUNKTOOLS_VERBOSE=1";

namespace {

// The settings that load the fault library into a tool with `setting`.
std::vector<std::string> with_fault_library(const std::string& setting) {
  // The library is built without sanitizers; a sanitized tool must accept it
  // ahead of its own runtime.
  return {std::string("LD_PRELOAD=") + FAULT_LIBRARY, setting, "ASAN_OPTIONS=verify_asan_link_order=0"};
}

}  // namespace

std::vector<std::string> failing_close_of(const std::string& canonical_path) {
  if (under_wine()) return {};
  return with_fault_library("CHUNKTOOLS_TEST_FAIL_CLOSE=" + canonical_path);
}

std::vector<std::string> failing_reads_of(const std::string& canonical_path, std::uint64_t offset) {
  const char* wrapper = std::getenv("CHUNKTOOLS_TOOL_WRAPPER");
  if (under_wine() || (wrapper != nullptr && std::strstr(wrapper, "qemu") != nullptr)) return {};
  return with_fault_library("CHUNKTOOLS_TEST_FAIL_READ=" + std::to_string(offset) + ":" + canonical_path);
}

std::string console_file_bytes(const std::string& text) {
  if (std::getenv("CHUNKTOOLS_CONSOLE_CRLF") == nullptr) return text;
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

bool under_wine() { return std::getenv("CHUNKTOOLS_WINE") != nullptr; }

bool closed_descriptors_testable() { return !under_wine(); }

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
  return run_tool(tool_path("chunksig"), args(), options);
}

std::thread feed_fifo(const std::string& path, const std::string& bytes, std::size_t pause_after,
                      unsigned pause_ms) {
  ::signal(SIGPIPE, SIG_IGN);
  ::unlink(path.c_str());
  if (::mkfifo(path.c_str(), 0644) != 0) std::abort();
  return std::thread([path, bytes, pause_after, pause_ms] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) return;
    for (std::size_t done = 0; done < bytes.size();) {
      if (pause_ms > 0 && done == pause_after) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
      const std::size_t end = pause_ms > 0 && done < pause_after ? pause_after : bytes.size();
      const ssize_t put = ::write(fd, bytes.data() + done, end - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    ::close(fd);
  });
}

namespace {

// Reads standard output to its end and standard error meanwhile, so that
// neither pipe can fill up and stall the tool.
void drain_console(int console_fd, int errors_fd, RunResult* result) {
  pollfd fds[2] = {{console_fd, POLLIN, 0}, {errors_fd, POLLIN, 0}};
  std::string* into[2] = {&result->console, &result->errors};
  while (fds[0].fd >= 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      std::abort();
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        fds[i].fd = -1;  // closed by the caller
      } else {
        into[i]->append(buffer, static_cast<std::size_t>(got));
      }
    }
  }
}

// What is left on standard error once the tool has ended. Not read to its
// end: helpers that Wine starts may outlive the tool and hold the pipe open.
void drain_errors(int errors_fd, RunResult* result) {
  ::fcntl(errors_fd, F_SETFL, ::fcntl(errors_fd, F_GETFL) | O_NONBLOCK);
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(errors_fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    result->errors.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

RunResult run_tool(const std::string& executable, const std::vector<std::string>& args,
                   const RunOptions& options) {
  // Pipes, not files, so that a file-size limit never cuts what is captured.
  int capture[2], errors[2];
  if (::pipe(capture) != 0 || ::pipe(errors) != 0) std::abort();
  std::string terminal;  // the pseudo-terminal's device, when asked for
  int held_terminal = -1;
  if (options.errors_on_terminal || options.console == Console::kTerminal) {
    // The terminal's master side takes the pipe's place in this process.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) std::abort();
    terminal = ::ptsname(master);
    ::close(errors[0]);
    errors[0] = master;
    // Held open here too, so that reading the master side never fails (EIO)
    // for want of an open slave before the tool has opened it.
    held_terminal = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
    if (held_terminal < 0) std::abort();
  }
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

  timespec started{};
  ::clock_gettime(CLOCK_MONOTONIC, &started);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(capture[0]);
    ::close(errors[0]);
    if (held_terminal >= 0) ::close(held_terminal);
    if (options.console == Console::kCaptured) {
      if (::dup2(capture[1], 1) < 0) ::_exit(126);
    } else if (options.console == Console::kDevFull || options.console == Console::kAppendToFile) {
      const int fd = options.console == Console::kDevFull
                         ? ::open("/dev/full", O_WRONLY)
                         : ::open(options.console_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd < 0 || ::dup2(fd, 1) < 0) ::_exit(126);
      ::close(fd);
    } else if (options.console == Console::kClosed) {
      ::close(1);
    }
    if (!terminal.empty()) {
      const int fd = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
      if (fd < 0 || ::dup2(fd, 2) < 0) ::_exit(126);
      if (options.console == Console::kTerminal && ::dup2(fd, 1) < 0) ::_exit(126);
      if (fd > 2) ::close(fd);
    } else if (::dup2(errors[1], 2) < 0) {
      ::_exit(126);
    }
    // With standard output on the terminal, the capture pipe stays open in
    // the tool, unused, so that its end still tells the harness the tool has
    // ended while the terminal is read.
    if (options.console != Console::kTerminal) ::close(capture[1]);
    ::close(errors[1]);
    if (options.close_stdin) ::close(0);
    if (!options.input_file.empty()) {
      const int fd = ::open(options.input_file.c_str(), O_RDONLY);
      if (fd < 0 || ::dup2(fd, 0) < 0) ::_exit(126);
      ::close(fd);
    }
    if (!options.working_dir.empty() && ::chdir(options.working_dir.c_str()) != 0) ::_exit(126);
    for (const std::string& setting : options.environment) {
      const std::size_t equals = setting.find('=');
      ::setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
    }
    // SIGXFSZ at its default, as a shell leaves it, whatever the test runner
    // set: the tools must ignore it themselves. Not under a wrapper: valgrind
    // and Wine take the signal for themselves (and Windows has no such
    // limit), so there a write past the limit is made to fail directly.
    ::signal(SIGXFSZ, std::getenv("CHUNKTOOLS_TOOL_WRAPPER") != nullptr ? SIG_IGN : SIG_DFL);
    if (options.file_size_limit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.time_limit_seconds > 0) {
      // A pending alarm survives exec.
      const bool wrapped = std::getenv("CHUNKTOOLS_TOOL_WRAPPER") != nullptr;
      ::signal(SIGALRM, SIG_DFL);
      ::alarm(options.time_limit_seconds * (wrapped ? 30 : 1));
    }
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(capture[1]);
  ::close(errors[1]);
  RunResult result;
  drain_console(capture[0], errors[0], &result);
  ::close(capture[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  timespec ended{};
  ::clock_gettime(CLOCK_MONOTONIC, &ended);
  result.seconds = static_cast<double>(ended.tv_sec - started.tv_sec) +
                   static_cast<double>(ended.tv_nsec - started.tv_nsec) / 1e9;
  drain_errors(errors[0], &result);
  ::close(errors[0]);
  if (held_terminal >= 0) ::close(held_terminal);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (std::getenv("CHUNKTOOLS_CONSOLE_CRLF") != nullptr) {
    result.console = without_crs(result.console);
    result.errors = without_crs(result.errors);
  }
  return result;
}
