// chunksig's walk over arbitrary segment-list bytes, run in-process on real
// files, against the reference model: whole console output, whole signature
// file, exit code.
//
// Input: a flags byte, two bytes of start position, two bytes of data length,
// the data, then the segment list. Unless flag bit 0 is set, segment fields are
// narrowed so that segments land near the data; raw fields still reach every
// 64-bit comparison, but inputs that would take more than kMaxSpan bytes are
// passed over to keep each run short.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chunksig/chunksig_command.h"
#include "fuzz/in_process.h"
#include "tests/reference_model.h"

namespace {

constexpr std::uint64_t kMaxSpan = 1 << 16;

std::uint64_t le(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < 5) return 0;
  const std::string bytes(reinterpret_cast<const char*>(input), size);
  const bool raw = bytes[0] & 1;
  const std::uint64_t fptr = raw ? le(bytes, 1, 2) << (bytes[0] >> 1 & 31) : le(bytes, 1, 2) % 4096;
  const std::size_t data_size = std::min<std::size_t>(le(bytes, 3, 2) % 8192, size - 5);
  const std::string data = bytes.substr(5, data_size);
  std::string segments = bytes.substr(5 + data_size);

  std::uint64_t pos = fptr, span = 0;
  for (std::size_t at = 0; at + 10 <= segments.size(); at += 10) {
    if (!raw) {
      segments[at + 1] &= 0x0F;  // len below 4096
      segments[at + 5] &= 0x3F;  // ofs below 16384
      segments.replace(at + 6, 4, 4, '\0');
    }
    const std::uint64_t end = le(segments, at + 4, 6) + le(segments, at, 4);
    if (end > pos) span += end - pos, pos = end;
    if (span > kMaxSpan) return 0;
  }

  const std::string folder = scratch_folder();
  put_file(folder + "/base", "");
  if (::truncate((folder + "/base").c_str(), static_cast<off_t>(fptr)) != 0) return 0;
  put_file(folder + "/data", data);
  put_file(folder + "/segments", segments);
  const CapturedRun run = run_in_process(
      run_chunksig, {folder + "/base", folder + "/data", folder + "/segments", folder + "/signatures"});
  const ChunksigOutput expected = reference_chunksig(fptr, data, segments);
  if (run.exit_code != 0 || run.console != expected.console ||
      get_file(folder + "/signatures") != expected.signatures) {
    std::abort();
  }
  return 0;
}
