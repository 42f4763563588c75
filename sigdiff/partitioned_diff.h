// The comparison at sigdiff's heart: which records of NEW are new, that is,
// whose identity is in none of the OLD files nor earlier in NEW. A
// radix-partitioned hash join, whose cost per record does not depend on how
// the files are related. Every record's identity is hashed with a key drawn
// per run; the hash's top bits pick one of P partitions.
//
// In memory (where the whole fits in the budget), one pass over each file
// puts every entry in its partition's chain of blocks (chained_join.h), and
// the partitions are then joined one at a time, each in a set that stays near
// the processor; each partition's marks are a run of bits in NEW's order.
//
// Past the budget:
//   1. count:    the entries of each partition are counted;
//   2. scatter:  the identities of OLD (10 bytes each) and of NEW (with the
//                record's index in NEW, 15 bytes) go to their partition's
//                place, where the counted entries fit in memory, or else to
//                temporary files, one per group of partitions that fits;
//   3. join:     group by group, the entries are read back to their
//                partition's place, and partition by partition a set of OLD's
//                identities is built and NEW's entries are looked up and
//                added in order: an entry not found is new, and its bit (by
//                its index) is set.
// A small cache of recent identities then drops repeats as they are read (a
// repeat is never new), so that no run of one identity can crowd a group.
#ifndef SIGDIFF_PARTITIONED_DIFF_H
#define SIGDIFF_PARTITIONED_DIFF_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/failure_report.h"
#include "common/file_handle.h"
#include "sigdiff/chained_join.h"
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
  // Set by the caller when it wants only NEW's counts: the comparison in
  // memory then counts NEW's chunks as it joins them, into `counts`, and sets
  // `counted`, so that NEW need not be read again.
  bool counts_only = false;
  bool counted = false;
  ChunkCounts counts;

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
