// Runs a command in this process, as the fuzz targets need, with its standard
// output captured and the files it leaves open closed again.
#ifndef FUZZ_IN_PROCESS_H
#define FUZZ_IN_PROCESS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CapturedRun {
  int exit_code;
  std::string console;
};

// A folder for one target's files, made once per process.
const std::string& scratch_folder();

void put_file(const std::string& path, const std::string& bytes);
std::string get_file(const std::string& path);

CapturedRun run_in_process(int (*command)(int, char**), const std::vector<std::string>& args);

// Runs a dump command in-process on `input` as its one file, and aborts unless
// it ends with exit code 0 and prints exactly `expected`.
void check_dump(int (*command)(int, char**), const std::uint8_t* input, std::size_t size,
                const std::string& expected);

#endif  // FUZZ_IN_PROCESS_H
