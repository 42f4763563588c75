// seglist cover FILE SEGMENTS [LENGTH]
// seglist text TEXT SEGMENTS
// seglist show SEGMENTS
//
// Makes segment lists without hand-made bytes, and prints them: `cover` lists
// the whole of a file, `text` takes "OFFSET LENGTH" lines, `show` prints
// "OFFSET LENGTH END" lines that `text` reads back. Silent on failure: the exit
// code alone tells (0 done, 1 anything went wrong), unless CHUNKTOOLS_VERBOSE
// asks for the reason. Records written before a failure are kept, as chunksig
// keeps its signature records.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "chunking/kernels/tier_choice.h"
#include "common/console.h"
#include "common/failure_report.h"
#include "common/file_guards.h"
#include "common/file_handle.h"
#include "common/record_dump.h"
#include "common/record_writer.h"
#include "common/text_buffer.h"
#include "common/usage.h"
#include "records/records.h"
#include "seglist/seglist_command.h"
#include "seglist/segment_text.h"

namespace {

const ToolUsage kUsage{"seglist",
                       "cover FILE SEGMENTS [LENGTH] | text TEXT SEGMENTS | show SEGMENTS",
                       "Makes and prints segment lists: files of 10-byte records, each the length\n"
                       "and offset of one region of a stream, as chunksig reads them.\n"
                       "\n"
                       "  cover FILE SEGMENTS [LENGTH]  writes to SEGMENTS segments of LENGTH bytes\n"
                       "                                (default and largest 4294967295) covering\n"
                       "                                FILE from offset 0 to its size, the last\n"
                       "                                one shorter; an empty FILE, an empty list\n"
                       "  text TEXT SEGMENTS            writes to SEGMENTS one segment per line of\n"
                       "                                TEXT: \"OFFSET LENGTH\" in decimal (a third\n"
                       "                                field must be END, OFFSET + LENGTH; blank\n"
                       "                                lines and lines starting with # are\n"
                       "                                skipped)\n"
                       "  show SEGMENTS                 prints \"OFFSET LENGTH END\" in decimal, one\n"
                       "                                line per segment, as text reads them back\n"
                       "\n"
                       "Exit status: 0 done, 1 anything went wrong (after a bad line of TEXT,\n"
                       "SEGMENTS keeps the segments of the lines before it).\n",
                       "",
                       1,
                       describe_cpu_tiers};

constexpr char kSegmentsRole[] = "segment list";
constexpr std::size_t kRecordsPerWrite = 6400;  // 64,000 bytes a write
constexpr std::size_t kRecordsPerRead = 4096;
constexpr std::size_t kTextPerRead = 64 * 1024;
// 20 digits of offset, 10 of length, 20 of end, two spaces and the newline.
constexpr std::size_t kLongestLine = 20 + 1 + 10 + 1 + 20 + 1;

unsigned char written_records[kRecordsPerWrite * SegmentRecord::kBytes];
unsigned char text_bytes[kTextPerRead];
unsigned char read_records[kRecordsPerRead * SegmentRecord::kBytes];
char console_text[64 * 1024];

// A decimal number from 1 to `largest`, digits only.
bool parse_count(const char* text, std::uint64_t largest, std::uint64_t* value) {
  std::uint64_t number = 0;
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
    const unsigned digit = static_cast<unsigned>(*text - '0');
    if (number > (largest - digit) / 10) return false;
    number = number * 10 + digit;
  }
  *value = number;
  return number >= 1;
}

// Creating the segment list truncates it: never let that hit the input
// (`role` at `path`, of identity `input`) that the list is made from.
bool may_create_segments(FailureReport& report, const char* segments_path, const FileIdentity& input,
                         const char* role, const char* path) {
  const NamedInput inputs[] = {{role, path, input}};
  return may_create_output(report, nullptr, kSegmentsRole, segments_path, inputs, 1);
}

// Writes what is queued and closes the list, reporting the first failure;
// the exit code.
int finish_segments(FailureReport& report, RecordWriter& writer, FileHandle& segments, const char* path) {
  if (!writer.flush()) report.write_failed(kSegmentsRole, path, segments.error(), writer.torn_bytes());
  if (!segments.close()) report.file_failed(Operation::kClose, kSegmentsRole, path, segments.error());
  console_finish(report);
  return report.exit_code();
}

bool add_segment(RecordWriter& writer, const SegmentRecord& segment) {
  unsigned char bytes[SegmentRecord::kBytes];
  segment.encode(bytes);
  return writer.add(bytes, sizeof bytes);
}

int cover(FailureReport& report, const char* file_path, const char* segments_path, const char* length_text) {
  std::uint64_t length = SegmentRecord::kMaxLen;
  if (length_text != nullptr && !parse_count(length_text, SegmentRecord::kMaxLen, &length)) {
    char problem[64];
    std::snprintf(problem, sizeof problem, "LENGTH must be a decimal number from 1 to %" PRIu32 ", not",
                  SegmentRecord::kMaxLen);
    return report.bad_argument(problem, length_text);
  }
  // Only sized: opened so that a FIFO with no writer cannot block the run.
  FileHandle file = FileHandle::open_to_size(file_path);
  if (!file.is_open()) return report.file_failed(Operation::kOpen, "covered file", file_path, file.error());
  const FileIdentity covered = file.identity();
  std::uint64_t size;
  if (!file.size(&size)) return report.file_failed(Operation::kSize, "covered file", file_path, file.error());
  file.close();  // only sized, so nothing is lost should the close fail
  // Every segment must start at an offset the record's 48 bits hold.
  if (size > 0 && (size - 1) / length * length > SegmentRecord::kMaxOfs) {
    // The largest size covered: up to the first multiple of LENGTH from which
    // no segment can start.
    const std::uint64_t first_unreachable = (SegmentRecord::kMaxOfs + length) / length * length;
    char limit[96];
    std::snprintf(limit, sizeof limit, "the %" PRIu64 " bytes that segments of %" PRIu64 " bytes can cover",
                  first_unreachable, length);
    return report.too_large("covered file", file_path, limit);
  }
  if (!may_create_segments(report, segments_path, covered, "covered file", file_path)) return report.exit_code();

  FileHandle segments = FileHandle::create_write(segments_path);
  if (!segments.is_open()) {
    return report.file_failed(Operation::kCreate, kSegmentsRole, segments_path, segments.error());
  }
  RecordWriter writer(segments, SegmentRecord::kBytes, written_records, sizeof written_records);
  for (std::uint64_t offset = 0; offset < size; offset += length) {
    const std::uint64_t rest = size - offset;
    const SegmentRecord segment{static_cast<std::uint32_t>(rest < length ? rest : length), offset};
    if (!add_segment(writer, segment)) {
      report.write_failed(kSegmentsRole, segments_path, segments.error(), writer.torn_bytes());
      break;
    }
  }
  return finish_segments(report, writer, segments, segments_path);
}

// What ended the reading of a text: its end, a line that cannot be taken,
// a failed read or a failed write.
enum class TextEnd { kDone, kBadLine, kReadFailed, kWriteFailed };

TextEnd copy_text_segments(FileHandle& text, SegmentTextParser& parser, RecordWriter& writer) {
  for (;;) {
    const std::ptrdiff_t got = text.read_some(text_bytes, sizeof text_bytes);
    if (got < 0) return TextEnd::kReadFailed;
    const bool ended = got == 0;
    for (std::ptrdiff_t i = 0; i <= got; ++i) {
      SegmentTextParser::LineEnd line;
      if (i < got) {
        line = parser.take(text_bytes[i]);
      } else if (ended) {
        line = parser.finish();
      } else {
        break;
      }
      if (line == SegmentTextParser::LineEnd::kFault) return TextEnd::kBadLine;
      if (line == SegmentTextParser::LineEnd::kSegment && !add_segment(writer, parser.segment())) {
        return TextEnd::kWriteFailed;
      }
    }
    if (ended) return TextEnd::kDone;
  }
}

int text(FailureReport& report, const char* text_path, const char* segments_path) {
  FileHandle text = FileHandle::open_read(text_path);
  if (!text.is_open()) return report.file_failed(Operation::kOpen, "text file", text_path, text.error());
  if (!may_create_segments(report, segments_path, text.identity(), "text file", text_path)) return report.exit_code();
  FileHandle segments = FileHandle::create_write(segments_path);
  if (!segments.is_open()) {
    return report.file_failed(Operation::kCreate, kSegmentsRole, segments_path, segments.error());
  }
  RecordWriter writer(segments, SegmentRecord::kBytes, written_records, sizeof written_records);
  SegmentTextParser parser;
  switch (copy_text_segments(text, parser, writer)) {
    case TextEnd::kDone:
      break;
    case TextEnd::kBadLine:
      report.bad_line("text file", text_path, parser.line_number(), parser.fault());
      break;
    case TextEnd::kReadFailed:
      report.file_failed(Operation::kRead, "text file", text_path, text.error());
      break;
    case TextEnd::kWriteFailed:
      report.write_failed(kSegmentsRole, segments_path, segments.error(), writer.torn_bytes());
      break;
  }
  return finish_segments(report, writer, segments, segments_path);
}

void format_segment(const unsigned char* bytes, void*, TextBuffer& out) {
  const SegmentRecord segment = SegmentRecord::decode(bytes);
  out.unsigned_decimal(segment.ofs);
  out.literal(" ");
  out.unsigned_decimal(segment.len);
  out.literal(" ");
  out.unsigned_decimal(segment.end());
  out.literal("\n");
}

}  // namespace

int run_seglist(int argc, char** argv) {
  int exit_code;
  if (answer_usage_request(kUsage, argc, argv, &exit_code)) return exit_code;
  const char* form = argv[1];
  if (std::strcmp(form, "show") == 0) {
    const RecordDump dump{kUsage,       "show", kSegmentsRole, SegmentRecord::kBytes, kLongestLine,
                          format_segment, nullptr};
    return run_record_dump(dump, argc - 1, argv + 1, read_records, kRecordsPerRead, console_text,
                           sizeof console_text);
  }
  FailureReport report(kUsage);
  const bool is_cover = std::strcmp(form, "cover") == 0;
  const bool is_text = std::strcmp(form, "text") == 0;
  if (!is_cover && !is_text) return report.bad_argument("unknown form", form);
  if (argc < 4) return report.too_few_arguments(form);
  SystemError error = 0;
  if (!console_start(&error)) return report.start_failed(error);
  if (is_cover) return cover(report, argv[2], argv[3], argc > 4 ? argv[4] : nullptr);
  return text(report, argv[2], argv[3]);
}
