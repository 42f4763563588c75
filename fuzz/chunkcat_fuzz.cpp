// chunkcat on arbitrary data and chunk lists, run in-process, against the
// model (tests/reference_model.h): the same bytes and the same exit code. The
// first input byte says how many bytes the data takes; the list is the rest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chunkcat/chunkcat_command.h"
#include "fuzz/in_process.h"
#include "tests/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < 1) return 0;
  const std::string rest(reinterpret_cast<const char*>(input) + 1, size - 1);
  const std::size_t split = std::size_t{input[0]} * 4 < rest.size() ? std::size_t{input[0]} * 4 : rest.size();
  const std::string data = rest.substr(0, split), list = rest.substr(split);
  const std::string data_path = scratch_folder() + "/data", list_path = scratch_folder() + "/list";
  put_file(data_path, data);
  put_file(list_path, list);
  const ChunkcatOutput expected = reference_chunkcat(data, list, false);
  const CapturedRun run = run_in_process(run_chunkcat, {data_path, list_path});
  if (run.exit_code != expected.exit_code || run.console != expected.bytes) std::abort();
  return 0;
}
