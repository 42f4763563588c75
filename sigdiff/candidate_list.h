// The records of NEW that sigdiff could not match to OLD in passing, in NEW's
// order with their offsets: the only chunks that can be new. Once OLD has been
// read through mark_known(), the new ones are those neither known nor a later
// copy of an earlier candidate.
//
// One allocation: 19 bytes per candidate (the identity, the offset, a state)
// and an index of 4-byte candidate numbers at a load of 1/2, 27 bytes per
// candidate in all; and an 8 KiB filter in the object itself.
#ifndef SIGDIFF_CANDIDATE_LIST_H
#define SIGDIFF_CANDIDATE_LIST_H

#include <cstdint>

class CandidateList {
 public:
  // The most candidates a list can index with 4-byte numbers.
  static constexpr std::uint64_t kMostCandidates = 0x7FFFFFFF;

  CandidateList() = default;
  CandidateList(const CandidateList&) = delete;
  CandidateList& operator=(const CandidateList&) = delete;
  ~CandidateList() { release(); }

  // Makes room for `capacity` (at most kMostCandidates) candidates; false when
  // the memory cannot be had.
  bool allocate(std::uint64_t capacity);
  void release();
  // What the last allocate() asked for, for the report.
  std::uint64_t bytes_wanted() const { return bytes_wanted_; }

  // Appends the signature record at `record` (its 10 bytes), which begins at
  // `offset` in NEW; false when the list is full.
  bool add(const unsigned char* record, std::uint64_t offset);
  // Indexes the candidates by identity, marking each later copy of an
  // identity as a repeat. Once, after the last add().
  void index();
  // Marks the candidate with the identity of `record`, if any, as known.
  void mark_known(const unsigned char* record) {
    const unsigned key = filter_key(record);
    if ((filter_[key / 64] >> (key % 64) & 1) != 0) mark_known_in_index(record);
  }

  std::uint64_t size() const { return count_; }
  // Whether candidate `i` is new: neither known nor a repeat.
  bool is_new(std::uint64_t i) const { return entry(i)[kStateAt] == kCandidate; }
  const unsigned char* record(std::uint64_t i) const { return entry(i); }
  std::uint64_t offset(std::uint64_t i) const;

 private:
  static constexpr int kEntryBytes = 19;
  static constexpr int kOffsetAt = 10;
  static constexpr int kStateAt = 18;
  static constexpr unsigned char kCandidate = 0, kKnown = 1, kRepeat = 2;
  static constexpr std::uint32_t kNoCandidate = 0xFFFFFFFF;

  unsigned char* entry(std::uint64_t i) const { return entries_ + i * kEntryBytes; }
  // 16 bits of crc_plain: most of OLD's records are not candidates, and the
  // filter, one bit per key, says so without a probe of the index.
  static unsigned filter_key(const unsigned char* record) { return record[4] | record[5] << 8; }
  void mark_known_in_index(const unsigned char* record);
  // The index slot holding the identity at `record`, or the empty one where
  // it would go.
  std::uint32_t* slot_for(const unsigned char* record) const;

  unsigned char* memory_ = nullptr;
  unsigned char* entries_ = nullptr;
  std::uint32_t* slots_ = nullptr;
  std::uint64_t capacity_ = 0;
  std::uint64_t slot_count_ = 0;
  std::uint64_t count_ = 0;
  std::uint64_t bytes_wanted_ = 0;
  std::uint64_t filter_[65536 / 64] = {};
};

#endif  // SIGDIFF_CANDIDATE_LIST_H
