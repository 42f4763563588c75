// sigdiff on arbitrary pairs of signature files, run in-process, against a
// model over a std::set of identities: the same lines, the same summary line
// and the same exit code. The first input byte says how many whole records
// (and the second how many loose bytes) OLD takes; NEW is the rest.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "common/little_endian.h"
#include "fuzz/in_process.h"
#include "sigdiff/sigdiff_command.h"

namespace {

struct Model {
  std::string lines;
  std::string summary;
  int exit_code;
};

std::string percent(std::uint64_t part, std::uint64_t whole) {
  const std::uint64_t hundredths = whole == 0 ? 0 : (part * 10000 + whole / 2) / whole;
  char text[40];
  std::snprintf(text, sizeof text, "(%" PRIu64 ".%02u%%)", hundredths / 100, unsigned(hundredths % 100));
  return text;
}

Model model_sigdiff(const std::string& old_file, const std::string& new_file) {
  std::set<std::string> held;
  for (std::size_t at = 0; at + 10 <= old_file.size(); at += 10) held.insert(old_file.substr(at, 10));
  Model out;
  std::uint64_t offset = 0, chunks = 0, new_chunks = 0, new_bytes = 0;
  for (std::size_t at = 0; at + 10 <= new_file.size(); at += 10) {
    const unsigned char* r = reinterpret_cast<const unsigned char*>(new_file.data()) + at;
    const std::uint64_t len = load_le(r + 8, 2);
    if (held.insert(new_file.substr(at, 10)).second) {
      char line[64];
      std::snprintf(line, sizeof line, "%" PRIu64 " %" PRIu64 " %08X %08X\n", offset, len, unsigned(load_le(r, 4)),
                    unsigned(load_le(r + 4, 4)));
      out.lines += line;
      ++new_chunks;
      new_bytes += len;
    }
    ++chunks;
    offset += len;
  }
  char summary[200];
  std::snprintf(summary, sizeof summary, "%" PRIu64 " chunks, %" PRIu64 " new %s; %" PRIu64 " bytes, %" PRIu64
                " new %s\n", chunks, new_chunks, percent(new_chunks, chunks).c_str(), offset, new_bytes,
                percent(new_bytes, offset).c_str());
  out.summary = summary;
  out.exit_code = new_chunks == 0 ? 0 : 1;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < 2) return 0;
  const std::string rest(reinterpret_cast<const char*>(input) + 2, size - 2);
  std::size_t split = std::size_t{input[0]} * 10 + input[1] % 10;
  if (split > rest.size()) split = rest.size();
  const std::string old_file = rest.substr(0, split), new_file = rest.substr(split);
  const std::string old_path = scratch_folder() + "/old", new_path = scratch_folder() + "/new";
  put_file(old_path, old_file);
  put_file(new_path, new_file);
  const Model expected = model_sigdiff(old_file, new_file);
  const CapturedRun listed = run_in_process(run_sigdiff, {old_path, new_path});
  if (listed.exit_code != expected.exit_code || listed.console != expected.lines) std::abort();
  const CapturedRun summed = run_in_process(run_sigdiff, {"--summary", old_path, new_path});
  if (summed.exit_code != expected.exit_code || summed.console != expected.summary) std::abort();
  return 0;
}
