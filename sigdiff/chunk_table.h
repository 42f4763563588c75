// The set of chunk identities sigdiff looks NEW's chunks up in: an
// open-addressing hash table with linear probing over one allocation.
//
// A chunk's identity is its signature record's (len, crc_plus1, crc_plain):
// 10 bytes, stored packed in 10-byte slots. Sized for n identities it takes
// 16 bytes for each plus a constant, at a load of at most 5/8; it grows (one
// new allocation, the old one freed) only when more identities come than it
// was sized for.
#ifndef SIGDIFF_CHUNK_TABLE_H
#define SIGDIFF_CHUNK_TABLE_H

#include <cstddef>
#include <cstdint>

#include "records/records.h"

class ChunkTable {
 public:
  enum class Added { kNew, kKnown, kNoMemory };

  ChunkTable() = default;
  ChunkTable(const ChunkTable&) = delete;
  ChunkTable& operator=(const ChunkTable&) = delete;
  ~ChunkTable();

  // Makes room for `count` identities; false when the memory cannot be had.
  bool reserve(std::uint64_t count);
  // Whether the memory for `count` identities can be had now, asked of the
  // allocator and given back untouched; false, with bytes_wanted(), when not.
  bool could_reserve(std::uint64_t count);
  // Adds the identity of the signature record at `record` (its kBytes bytes,
  // all of which are the identity): kNew when it was not there, kKnown when
  // it was, kNoMemory when the table had to grow and could not (it is then
  // unchanged).
  Added add(const unsigned char* record);
  // Starts fetching the slot of the record's identity into the cache.
  void prefetch(const unsigned char* record) const;

  // What the last failed reserve() or add() asked for, for the report.
  std::uint64_t bytes_wanted() const { return bytes_wanted_; }

 private:
  static constexpr std::size_t kSlotBytes = SignatureRecord::kBytes;

  std::uint64_t slot_of(const unsigned char* identity) const;
  bool allocate(std::uint64_t slots);
  void place(const unsigned char* identity);

  unsigned char* slots_ = nullptr;
  std::uint64_t capacity_ = 0;  // slots
  std::uint64_t count_ = 0;     // identities held in slots
  // An empty slot holds ten 0xFF bytes; a record of that very identity is
  // kept here instead.
  bool holds_all_ones_ = false;
  std::uint64_t bytes_wanted_ = 0;
};

#endif  // SIGDIFF_CHUNK_TABLE_H
