// A signature file sigdiff compares, open, with its role and path for the
// failures it may cause, and the one way its records are read.
#ifndef SIGDIFF_SIGNATURE_INPUT_H
#define SIGDIFF_SIGNATURE_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/failure_report.h"
#include "common/file_handle.h"
#include "records/records.h"

struct SignatureInput {
  const char* role;
  const char* path;
  FileHandle* file;
  std::uint64_t records;  // whole records
};

// The buffer read_records reads through (one caller at a time).
constexpr std::size_t kRecordsPerRead = 16384;
extern unsigned char signature_read_buffer[kRecordsPerRead * SignatureRecord::kBytes];

// Moves `input` back to its start; false, reported, when it cannot be.
bool rewind_input(FailureReport& report, SignatureInput& input);

// Reads `input` from where it stands, at most its `records` whole records,
// handing `take` each run of whole records read at once (at most
// kRecordsPerRead), with the index of its first, until `take` says false or
// they end. False, reported, on a read error.
template <typename TakeRun>
bool read_record_runs(FailureReport& report, SignatureInput& input, TakeRun take) {
  constexpr std::size_t kBytes = SignatureRecord::kBytes;
  unsigned char* const buffer = signature_read_buffer;
  std::uint64_t index = 0;
  std::size_t have = 0;
  while (index < input.records) {
    const std::ptrdiff_t got = input.file->read_some(buffer + have, sizeof signature_read_buffer - have);
    if (got < 0) {
      report.file_failed(Operation::kRead, input.role, input.path, input.file->error());
      return false;
    }
    if (got == 0) break;  // shorter than when it was sized: what is there is taken
    have += static_cast<std::size_t>(got);
    std::size_t whole = have / kBytes;
    if (whole > input.records - index) whole = static_cast<std::size_t>(input.records - index);
    if (whole > 0 && !take(static_cast<const unsigned char*>(buffer), whole, index)) return true;
    index += whole;
    const std::size_t used = whole * kBytes;
    std::memmove(buffer, buffer + used, have - used);
    have -= used;
  }
  return true;
}

// As read_record_runs, handing `take` each record and its index.
template <typename Take>
bool read_records(FailureReport& report, SignatureInput& input, Take take) {
  return read_record_runs(report, input, [&](const unsigned char* records, std::size_t count, std::uint64_t first) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!take(records + i * SignatureRecord::kBytes, first + i)) return false;
    }
    return true;
  });
}

#endif  // SIGDIFF_SIGNATURE_INPUT_H
