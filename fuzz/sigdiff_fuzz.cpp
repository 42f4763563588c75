// sigdiff on arbitrary signature files, run in-process, against a model over
// a set of identities (tests/reference_model.h): the same lines, the same
// summary line and the same exit code. The first input byte says how many whole records
// (and the second how many loose bytes) OLD takes, the third in how many
// files; NEW is the rest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/in_process.h"
#include "sigdiff/sigdiff_command.h"
#include "tests/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < 3) return 0;
  const std::string rest(reinterpret_cast<const char*>(input) + 3, size - 3);
  std::size_t split = std::size_t{input[0]} * 10 + input[1] % 10;
  if (split > rest.size()) split = rest.size();
  const std::string old_file = rest.substr(0, split), new_file = rest.substr(split);
  const std::string new_path = scratch_folder() + "/new";
  put_file(new_path, new_file);
  // OLD whole, or cut in two or three files at record boundaries (the third
  // byte says where), which the partitioned join compares.
  const std::size_t parts = 1 + input[2] % 3;
  std::vector<std::string> args;
  std::size_t at = 0;
  for (std::size_t part = 0; part < parts; ++part) {
    const std::size_t end =
        part + 1 == parts ? old_file.size() : std::min(old_file.size(), at + 10 * std::size_t{input[2] / 3u});
    const std::string path = scratch_folder() + "/old" + std::to_string(part);
    put_file(path, old_file.substr(at, end - at));
    args.push_back(path);
    at = end;
  }
  args.push_back(new_path);
  const SigdiffOutput expected = reference_sigdiff(old_file, new_file);
  const CapturedRun listed = run_in_process(run_sigdiff, args);
  if (listed.exit_code != expected.exit_code || listed.console != expected.lines) std::abort();
  args.insert(args.begin(), "--summary");
  const CapturedRun summed = run_in_process(run_sigdiff, args);
  if (summed.exit_code != expected.exit_code || summed.console != expected.summary) std::abort();
  return 0;
}
