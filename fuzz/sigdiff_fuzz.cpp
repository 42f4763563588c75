// sigdiff on arbitrary pairs of signature files, run in-process, against a
// model over a set of identities (tests/reference_model.h): the same lines, the same summary line
// and the same exit code. The first input byte says how many whole records
// (and the second how many loose bytes) OLD takes; NEW is the rest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/in_process.h"
#include "sigdiff/sigdiff_command.h"
#include "tests/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < 2) return 0;
  const std::string rest(reinterpret_cast<const char*>(input) + 2, size - 2);
  std::size_t split = std::size_t{input[0]} * 10 + input[1] % 10;
  if (split > rest.size()) split = rest.size();
  const std::string old_file = rest.substr(0, split), new_file = rest.substr(split);
  const std::string old_path = scratch_folder() + "/old", new_path = scratch_folder() + "/new";
  put_file(old_path, old_file);
  put_file(new_path, new_file);
  const SigdiffOutput expected = reference_sigdiff(old_file, new_file);
  const CapturedRun listed = run_in_process(run_sigdiff, {old_path, new_path});
  if (listed.exit_code != expected.exit_code || listed.console != expected.lines) std::abort();
  const CapturedRun summed = run_in_process(run_sigdiff, {"--summary", old_path, new_path});
  if (summed.exit_code != expected.exit_code || summed.console != expected.summary) std::abort();
  return 0;
}
