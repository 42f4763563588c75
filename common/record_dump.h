// The body the dump tools share: open one file of fixed-size records, read it
// in blocks and print one line per whole record, with the tools' discipline
// on failures (exit code 1, the reason on request, standard output never the
// file itself).
#ifndef COMMON_RECORD_DUMP_H
#define COMMON_RECORD_DUMP_H

#include <cstddef>

#include "common/text_buffer.h"
#include "common/usage.h"

struct RecordDump {
  const ToolUsage& usage;
  const char* form;  // the usage line's alternative this is ("show"), or null
  const char* role;  // "index file", as failures name it
  std::size_t record_size;
  std::size_t longest_line;  // the most one record's line can take
  // Appends the line of one record (record_size bytes); `state` is what the
  // formatter carries from one record to the next (sigdump's running offset).
  void (*format_line)(const unsigned char* record, void* state, TextBuffer& out);
  void* state;
};

// Runs the tool on its arguments (argv[1] is the file) with `records` holding
// `capacity` records and `text` its console buffer; returns the exit code.
int run_record_dump(const RecordDump& dump, int argc, char** argv, unsigned char* records, std::size_t capacity,
                    char* text, std::size_t text_size);

#endif  // COMMON_RECORD_DUMP_H
