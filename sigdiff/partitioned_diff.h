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
#include <cstdlib>

#include "common/failure_report.h"
#include "common/file_handle.h"
#include "sigdiff/signature_input.h"

struct DiffSettings {
  std::uint64_t budget;     // bytes of memory at most, for everything
  const char* temp_folder;  // where temporary files go
  std::uint64_t key;        // the run's hash key
};

// Which records of NEW are new, as mark_new_records leaves them: a bit per
// record in NEW's order; or, where the comparison was partitioned in memory,
// a run of bits per partition, each in NEW's order, so that a record's bit is
// the next of its partition's run, found by its hash as NEW is read again in
// order.
struct NewMarks {
  std::uint64_t* bits = nullptr;  // the caller's, cleared, marks_bytes long
  std::uint64_t* run_next = nullptr;  // per partition; null: bits in NEW's order
  std::uint64_t* run_end = nullptr;
  unsigned partition_bits = 0;
  std::uint64_t key = 0;

  NewMarks() = default;
  NewMarks(const NewMarks&) = delete;
  NewMarks& operator=(const NewMarks&) = delete;
  ~NewMarks() { std::free(run_next); }

  // Whether each of the `count` records at `records`, NEW's from index
  // `first` on, is new: 1 or 0 in `verdicts`. Asked of every record in NEW's
  // order, once. A record past its partition's run (NEW grew between the
  // readings) counts as new: a store then adds a chunk it may hold, and
  // loses none.
  void find_run(const unsigned char* records, std::size_t count, std::uint64_t first, unsigned char* verdicts);
};

// Marks the new records of `fresh` against the `old_count` files at `olds`
// in `marks`, and leaves every file at its start. False, reported, on a
// failure.
bool mark_new_records(FailureReport& report, const DiffSettings& settings, SignatureInput* olds,
                      std::size_t old_count, SignatureInput& fresh, NewMarks& marks);

// The bytes of NewMarks::bits for `new_records` records.
inline std::uint64_t marks_bytes(std::uint64_t new_records) { return (new_records + 63) / 64 * 8; }

#endif  // SIGDIFF_PARTITIONED_DIFF_H
