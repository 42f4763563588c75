// The comparison at sigdiff's heart: which records of NEW are new, that is,
// whose identity is in none of the OLD files nor earlier in NEW. A
// radix-partitioned hash join, whose cost per record does not depend on how
// the files are related:
//
//   1. count:    every record's identity is hashed with a key drawn per run;
//                its top bits pick one of P partitions, sized so that each
//                holds a few thousand records; counts per partition.
//   2. scatter:  the identities of OLD (10 bytes each) and of NEW (with the
//                record's index in NEW, 15 bytes) are copied to their
//                partition's place, NEW's in NEW's order.
//   3. join:     partition by partition, a set of OLD's identities is built
//                in the cache, and NEW's entries are looked up and added in
//                order: an entry not found is new, and its bit is set.
//
// A small cache of recent identities drops repeats as they are read (a
// repeat is never new), so that no run of one identity can crowd a
// partition. When the whole does not fit in the memory budget, step 2 writes
// the entries to temporary files in groups of partitions, and each group is
// read back and joined on its own: the same result, in more passes.
#ifndef SIGDIFF_PARTITIONED_DIFF_H
#define SIGDIFF_PARTITIONED_DIFF_H

#include <cstddef>
#include <cstdint>

#include "common/failure_report.h"
#include "common/file_handle.h"
#include "sigdiff/signature_input.h"

struct DiffSettings {
  std::uint64_t budget;     // bytes of memory at most, for everything
  const char* temp_folder;  // where temporary files go
  std::uint64_t key;        // the run's hash key
};

// Marks the new records of `fresh` against the `old_count` files at `olds`:
// on success the bit of every new record is set in `marks` (one bit per
// record of `fresh`, cleared by the caller) and every file is left at its
// start. False, reported, on a failure.
bool mark_new_records(FailureReport& report, const DiffSettings& settings, SignatureInput* olds,
                      std::size_t old_count, SignatureInput& fresh, std::uint64_t* marks);

// The bytes mark_new_records needs for the marks of `new_records` records.
inline std::uint64_t marks_bytes(std::uint64_t new_records) { return (new_records + 63) / 64 * 8; }

#endif  // SIGDIFF_PARTITIONED_DIFF_H
