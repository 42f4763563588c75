#include "common/record_dump.h"

#include "common/console.h"
#include "common/failure_report.h"
#include "common/file_guards.h"
#include "common/file_handle.h"
#include "common/record_reader.h"

int run_record_dump(const RecordDump& dump, int argc, char** argv, unsigned char* records, std::size_t capacity,
                    char* text, std::size_t text_size) {
  FailureReport report(dump.usage);
  if (argc < 2) return report.too_few_arguments(dump.form);
  SystemError error = 0;
  if (!console_start(&error)) return report.start_failed(error);
  const char* path = argv[1];

  // Printing into the file would grow it for as long as it is read.
  FileHandle file;
  if (!open_input(report, StandardOutput::examine(), dump.role, path, &file)) return report.exit_code();

  RecordReader reader(file, records, dump.record_size, capacity);
  TextBuffer out(text, text_size);
  bool printing = true;
  while (printing) {
    std::size_t count;
    const ReadResult got = reader.next_block(&count);
    if (got == ReadResult::kError) report.file_failed(Operation::kRead, dump.role, path, file.error());
    if (got == ReadResult::kEnd && reader.stray_bytes() > 0) {
      // The lines of the whole records go out first, then the warning.
      out.flush_to_stdout();
      report.partial_record(dump.role, path, reader.stray_bytes());
    }
    if (got != ReadResult::kRecord) break;
    for (std::size_t i = 0; i < count && printing; ++i) {
      if (out.room() < dump.longest_line) printing = out.flush_to_stdout();
      dump.format_line(reader.records() + i * dump.record_size, dump.state, out);
    }
  }
  // Lines for the records before a read error still go out.
  out.flush_to_stdout();
  console_finish(report);
  return report.exit_code();
}
