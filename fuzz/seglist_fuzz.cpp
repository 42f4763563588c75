// seglist text on arbitrary text, run in-process, against a model that splits
// lines and fields with the standard library: the same records up to the
// first line that cannot be taken, the same exit code; and whatever list it
// writes, `seglist show` prints and `seglist text` reads back to the same
// bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "fuzz/in_process.h"
#include "seglist/seglist_command.h"

namespace {

// Whether `digits` (all decimal digits) is at most `largest`, also decimal.
bool at_most(std::string digits, const std::string& largest) {
  const std::size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? "0" : digits.substr(first);
  return digits.size() < largest.size() || (digits.size() == largest.size() && digits <= largest);
}

bool all_digits(const std::string& text) { return text.find_first_not_of("0123456789") == std::string::npos; }

struct Model {
  std::string segments;
  int exit_code = 0;
};

Model model_text(const std::string& text) {
  Model out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    // A CR is a blank only right before the line's end; anywhere else it is
    // part of a field, which then holds no number.
    const std::size_t content_end = end > start && text[end - 1] == '\r' ? end - 1 : end;
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = start; i <= content_end; ++i) {
      const char c = i < content_end ? text[i] : ' ';
      if (c == ' ' || c == '\t') {
        if (!field.empty()) fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    start = end + 1;
    if (fields.empty() || fields[0][0] == '#') continue;
    const bool shaped = fields.size() <= 3 && fields.size() >= 2 && all_digits(fields[0]) && all_digits(fields[1]);
    const bool in_range = shaped && at_most(fields[0], "281474976710655") && at_most(fields[1], "4294967295") &&
                          !at_most(fields[1], "0");
    // A third field is END: OFFSET + LENGTH, in decimal.
    const bool end_right =
        fields.size() < 3 ||
        (all_digits(fields[2]) && at_most(fields[2], std::to_string(std::strtoull(fields[0].c_str(), nullptr, 10) +
                                                                    std::strtoull(fields[1].c_str(), nullptr, 10))) &&
         !at_most(fields[2], std::to_string(std::strtoull(fields[0].c_str(), nullptr, 10) +
                                            std::strtoull(fields[1].c_str(), nullptr, 10) - 1)));
    if (!in_range || !end_right) {
      out.exit_code = 1;
      return out;
    }
    unsigned char record[10];
    store_le(record, std::strtoull(fields[1].c_str(), nullptr, 10), 4);
    store_le(record + 4, std::strtoull(fields[0].c_str(), nullptr, 10), 6);
    out.segments.append(reinterpret_cast<const char*>(record), sizeof record);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(input), size);
  const std::string text_path = scratch_folder() + "/text", segments_path = scratch_folder() + "/segments";
  put_file(text_path, text);
  const Model expected = model_text(text);
  const CapturedRun run = run_in_process(run_seglist, {"text", text_path, segments_path});
  if (run.exit_code != expected.exit_code || !run.console.empty() || get_file(segments_path) != expected.segments) {
    std::abort();
  }
  const CapturedRun shown = run_in_process(run_seglist, {"show", segments_path});
  if (shown.exit_code != 0) std::abort();
  put_file(text_path, shown.console);
  const std::string again_path = scratch_folder() + "/again";
  if (run_in_process(run_seglist, {"text", text_path, again_path}).exit_code != 0 ||
      get_file(again_path) != expected.segments) {
    std::abort();
  }
  return 0;
}
